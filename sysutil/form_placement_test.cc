#include "sysutil/form_placement.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/screen.h"
#include "sysutil/errors.h"
#include "sysutil/globals.h"
#include "sysutil/reg_path.h"
#include "testing/registry_sandbox.h"

namespace veilbox {
namespace {

using Values = std::map<std::string, std::string>;

struct Geometry {
  int left, top, width, height;
  bool operator==(const Geometry&) const = default;
};

void PrintTo(const Geometry& g, std::ostream* os) {
  *os << "{left " << g.left << ", top " << g.top << ", width " << g.width << ", height " << g.height
      << "}";
}

class TestForm : public PlacedForm {
 public:
  explicit TestForm(Geometry g, TFormBorderStyle border = bsSizeable) : g_(g), border_(border) {}

  std::string Name() const override { return "FrmMain"; }
  int Left() const override { return g_.left; }
  int Top() const override { return g_.top; }
  int Width() const override { return g_.width; }
  int Height() const override { return g_.height; }
  void SetLeft(int v) override { g_.left = v; }
  void SetTop(int v) override { g_.top = v; }
  void SetWidth(int v) override { g_.width = v; }
  void SetHeight(int v) override { g_.height = v; }
  TWindowState WindowState() const override { return state_; }
  void SetWindowState(TWindowState s) override { state_ = s; }
  TFormBorderStyle BorderStyle() const override { return border_; }
  std::optional<Area> ParentArea() const override { return parent_; }
  std::vector<PlacedControl> Controls() const override { return controls_; }

  Geometry g_;
  TFormBorderStyle border_;
  TWindowState state_ = wsNormal;
  std::optional<Area> parent_;
  std::vector<PlacedControl> controls_;
};

// Placement values live in a registry of the test's own.
class FormPlacement : public ::testing::Test {
 protected:
  void SetUp() override {
    old_base_ = RegBasePath;
    old_root_ = RegRoot;
    RegBasePath = sandbox_.Base() + "\\Talvoren\\Wrapper";
    RegRoot = kHkeyCurrentUser;
  }
  void TearDown() override {
    RegBasePath = old_base_;
    RegRoot = old_root_;
  }

  void Store(const Values& values) {
    for (const auto& [name, text] : values) {
      WriteRegString(RegRoot, RegBasePath + "\\Forms\\" + name, text);
      ASSERT_EQ(LastStatus, kSuccessText);
    }
  }

  // Every value of the key Forms, with its text.
  Values Stored() const {
    Values values;
    platform::RegKey key;
    if (platform::OpenRegKey(RegRoot, nullptr, RegBasePath + "\\Forms", platform::kKeyRead, &key) !=
        platform::kRegSuccess)
      return values;
    std::uint32_t count = 0, longest = 0;
    platform::QueryRegKeyInfo(key, &count, &longest);
    for (std::uint32_t i = 0; i < count; ++i) {
      std::string name;
      platform::EnumRegValueName(key, i, longest + 1, &name);
      values[name] = ReadRegString(RegRoot, RegBasePath + "\\Forms\\" + name);
    }
    return values;
  }

  testing::RegistrySandbox sandbox_;
  std::string old_base_;
  RegistryRoot old_root_ = 0;
};

TEST_F(FormPlacement, SaveByStateAndBorderStyle) {
  struct Case {
    TWindowState state;
    TFormBorderStyle border;
    Values expected;
  };
  const std::vector<Case> cases = {
      {wsNormal,
       bsSizeable,
       {{"FrmMainState", "0"},
        {"FrmMainLeft", "-20"},
        {"FrmMainTop", "50"},
        {"FrmMainHeight", "480"},
        {"FrmMainWidth", "640"}}},
      {wsNormal,
       bsToolWindow,
       {{"FrmMainState", "0"}, {"FrmMainLeft", "-20"}, {"FrmMainTop", "50"}}},
      {wsNormal, bsSingle, {{"FrmMainState", "0"}, {"FrmMainLeft", "-20"}, {"FrmMainTop", "50"}}},
      {wsNormal, bsDialog, {{"FrmMainState", "0"}, {"FrmMainLeft", "-20"}, {"FrmMainTop", "50"}}},
      {wsMaximized, bsSizeable, {{"FrmMainState", "2"}}},
      {wsMinimized, bsSizeable, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "state " << c.state << ", border " << c.border);
    platform::DeleteRegTree(RegRoot, RegBasePath);
    TestForm form({-20, 50, 640, 480}, c.border);
    form.state_ = c.state;
    SaveFormPlacement(form);
    EXPECT_EQ(Stored(), c.expected);
  }
}

// A maximized save leaves the last normal position for the next restore.
TEST_F(FormPlacement, MaximizedSaveKeepsTheNormalPosition) {
  TestForm form({100, 60, 640, 480});
  SaveFormPlacement(form);
  form.state_ = wsMaximized;
  form.g_ = {0, 0, 1920, 1080};
  SaveFormPlacement(form);

  TestForm next({0, 0, 300, 200});
  next.parent_ = Area{1920, 1080};
  RestoreFormPlacement(next);
  EXPECT_EQ(next.g_, (Geometry{100, 60, 640, 480}));
  EXPECT_EQ(next.state_, wsMaximized);
}

TEST_F(FormPlacement, SplitterWidths) {
  int panel_parent = 0, other_parent = 0;
  const void* p = &panel_parent;
  const void* q = &other_parent;
  struct Case {
    const char* what;
    std::vector<PlacedControl> controls;
    Values widths;
  };
  const std::vector<Case> cases = {
      {"panel left of a splitter",
       {{"TPanel", p, 0, 150, "Tree", alLeft}, {"TSplitter", p, 150, 3, "Split", alLeft}},
       {{"FrmMainTreeWidth", "150"}}},
      {"class name compared without regard to case; nearest panel wins",
       {{"TPanel", p, 0, 100, "A", alLeft},
        {"TPanel", p, 103, 80, "B", alLeft},
        {"tsplitter", p, 183, 3, "S", alLeft},
        {"TPanel", p, 300, 50, "Right", alLeft}},
       {{"FrmMainBWidth", "80"}}},
      {"first of two at the same left edge",
       {{"TPanel", p, 10, 100, "First", alLeft},
        {"TPanel", p, 10, 90, "Second", alLeft},
        {"TSplitter", p, 110, 3, "S", alLeft}},
       {{"FrmMainFirstWidth", "100"}}},
      {"no alLeft control, another parent, a negative left edge",
       {{"TPanel", p, 0, 100, "Top", alTop},
        {"TPanel", q, 0, 100, "Elsewhere", alLeft},
        {"TPanel", p, -3, 100, "Hidden", alLeft},
        {"TSplitter", p, 100, 3, "S", alLeft}},
       {}},
      {"a panel but no splitter", {{"TPanel", p, 0, 100, "Tree", alLeft}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::DeleteRegTree(RegRoot, RegBasePath);
    TestForm form({10, 20, 640, 480}, bsToolWindow);
    form.state_ = wsMaximized;
    form.controls_ = c.controls;
    SaveFormPlacement(form);
    Values expected = c.widths;
    // Assigned as a string: GCC 12 for i686 warns wrongly on the literal.
    expected["FrmMainState"] = std::string("2");
    EXPECT_EQ(Stored(), expected);
  }
}

TEST_F(FormPlacement, Restore) {
  struct Case {
    const char* what;
    Values stored;
    Geometry before;
    Geometry after;
    TFormBorderStyle border = bsSizeable;
    TWindowState state = wsNormal;
  };
  const Area area{1000, 800};
  const std::vector<Case> cases = {
      {"nothing stored: centred", {}, {0, 0, 400, 300}, {300, 250, 400, 300}},
      {"nothing stored: too wide", {}, {0, 0, 1200, 300}, {5, 250, 990, 300}},
      {"nothing stored: as high as the area", {}, {0, 0, 400, 800}, {300, 1, 400, 800}},
      {"nothing stored: too high", {}, {0, 0, 400, 900}, {300, 5, 400, 790}},
      {"stored position and size",
       {{"FrmMainLeft", "120"},
        {"FrmMainTop", "+40"},
        {"FrmMainWidth", "500"},
        {"FrmMainHeight", "350"}},
       {0, 0, 400, 300},
       {120, 40, 500, 350}},
      {"size of a tool window is left alone",
       {{"FrmMainLeft", "120"},
        {"FrmMainTop", "40"},
        {"FrmMainWidth", "500"},
        {"FrmMainHeight", "350"}},
       {0, 0, 400, 300},
       {120, 40, 400, 300},
       bsToolWindow},
      {"no stored width leaves the size",
       {{"FrmMainLeft", "120"}, {"FrmMainTop", "40"}},
       {0, 0, 400, 300},
       {120, 40, 400, 300}},
      {"left edge below the area",
       {{"FrmMainLeft", "-5"}, {"FrmMainTop", "40"}},
       {0, 0, 400, 300},
       {1, 40, 400, 300}},
      {"left edge at 0",
       {{"FrmMainLeft", "0"}, {"FrmMainTop", "40"}},
       {0, 0, 400, 300},
       {1, 40, 400, 300}},
      {"top edge at the area height",
       {{"FrmMainLeft", "999"}, {"FrmMainTop", "800"}},
       {0, 0, 400, 300},
       {999, 1, 400, 300}},
      {"left edge at the area width",
       {{"FrmMainLeft", "1000"}, {"FrmMainTop", "799"}},
       {0, 0, 400, 300},
       {1, 799, 400, 300}},
      {"stored state",
       {{"FrmMainState", "2"}},
       {0, 0, 400, 300},
       {300, 250, 400, 300},
       bsSizeable,
       wsMaximized},
      {"stored state without meaning",
       {{"FrmMainState", "7"}},
       {0, 0, 400, 300},
       {300, 250, 400, 300}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::DeleteRegTree(RegRoot, RegBasePath);
    Store(c.stored);
    TestForm form(c.before, c.border);
    form.parent_ = area;
    RestoreFormPlacement(form);
    EXPECT_EQ(form.g_, c.after);
    EXPECT_EQ(form.state_, c.state);
  }
}

TEST_F(FormPlacement, TopLevelFormUsesTheScreen) {
  const int w = platform::ScreenWidth(), h = platform::ScreenHeight();
  TestForm form({0, 0, 200, 100});
  RestoreFormPlacement(form);
  EXPECT_EQ(form.g_, (Geometry{(w - 200) / 2, (h - 100) / 2, 200, 100}));

  Store({{"FrmMainLeft", std::to_string(w - 20)}, {"FrmMainTop", "30"}});
  RestoreFormPlacement(form);
  EXPECT_EQ(form.g_.left, w - 20);
}

// The placement is cosmetic: a position that is not whole is not applied,
// the form is centred as if none were stored, and nothing is raised.
TEST_F(FormPlacement, StoredPositionThatIsNotWholeIsIgnored) {
  struct Case {
    const char* what;
    Values stored;
    TWindowState state = wsNormal;
  };
  const std::vector<Case> cases = {
      {"left not a number", {{"FrmMainLeft", "abc"}, {"FrmMainTop", "5"}}},
      {"top not a number", {{"FrmMainLeft", "12"}, {"FrmMainTop", "12px"}}},
      {"top missing beside a left", {{"FrmMainLeft", "12"}}},
      {"height missing beside a width",
       {{"FrmMainLeft", "12"}, {"FrmMainTop", "13"}, {"FrmMainWidth", "500"}}},
      {"width not a number",
       {{"FrmMainLeft", "12"}, {"FrmMainTop", "13"}, {"FrmMainWidth", "wide"},
        {"FrmMainHeight", "200"}}},
      {"state not a number", {{"FrmMainState", "max"}}},
      {"bad position, good state",
       {{"FrmMainLeft", "x"}, {"FrmMainTop", "1"}, {"FrmMainState", "2"}},
       wsMaximized},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::DeleteRegTree(RegRoot, RegBasePath);
    Store(c.stored);
    TestForm form({7, 8, 400, 300});
    form.parent_ = Area{1000, 800};
    EXPECT_NO_THROW(RestoreFormPlacement(form));
    EXPECT_EQ(form.g_, (Geometry{300, 250, 400, 300}));
    EXPECT_EQ(form.state_, c.state);
  }
}

}  // namespace
}  // namespace veilbox
