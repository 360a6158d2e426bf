#include "sysutil/form_placement.h"

#include <optional>

#include "platform/debug_output.h"
#include "platform/screen.h"
#include "sysutil/errors.h"
#include "sysutil/globals.h"
#include "sysutil/reg_path.h"
#include "text/ansi_case.h"

namespace veilbox {
namespace {

std::string ValuePath(const PlacedForm& form, const std::string& suffix) {
  return RegBasePath + "\\Forms\\" + form.Name() + suffix;
}

void Store(const PlacedForm& form, const std::string& suffix, int number) {
  WriteRegString(RegRoot, ValuePath(form, suffix), std::to_string(number));
}

std::string Read(const PlacedForm& form, const std::string& suffix) {
  return ReadRegString(RegRoot, ValuePath(form, suffix));
}

// For each splitter: the alLeft control with the same parent that lies
// nearest to its left.
void StoreSplitterWidths(const PlacedForm& form) {
  const std::vector<PlacedControl> controls = form.Controls();
  for (const PlacedControl& splitter : controls) {
    if (!text::AnsiSameText(splitter.class_name, "tsplitter")) continue;
    const PlacedControl* best = nullptr;
    int best_left = -1;
    for (const PlacedControl& c : controls) {
      if (c.parent == splitter.parent && c.left < splitter.left && c.align == alLeft &&
          c.left > best_left) {
        best = &c;
        best_left = c.left;
      }
    }
    if (best) Store(form, best->name + "Width", best->width);
  }
}

// The stored number, or nothing when the stored text is not a number; such
// a text goes to the debugger output and the placement does without it.
std::optional<int> ReadNumber(const PlacedForm& form, const std::string& suffix) {
  const std::string text = Read(form, suffix);
  try {
    return StrToInt(text);
  } catch (const ConvertError& e) {
    platform::DebugOutput("Stored placement " + ValuePath(form, suffix) + " ignored: " + e.what());
    return std::nullopt;
  }
}

void Centre(PlacedForm& form, const Area& area) {
  if (form.Width() > area.width) form.SetWidth(area.width - 10);
  if (form.Height() > area.height) form.SetHeight(area.height - 10);
  form.SetTop((area.height - form.Height()) / 2);
  form.SetLeft((area.width - form.Width()) / 2);
}

}  // namespace

void SaveFormPlacement(const PlacedForm& form) {
  const TWindowState state = form.WindowState();
  if (state == wsMinimized) return;
  Store(form, "State", state);
  StoreSplitterWidths(form);
  if (state == wsMaximized) return;
  Store(form, "Left", form.Left());
  Store(form, "Top", form.Top());
  if (form.BorderStyle() == bsSizeable) {
    Store(form, "Height", form.Height());
    Store(form, "Width", form.Width());
  }
}

void RestoreFormPlacement(PlacedForm& form) {
  const Area area =
      form.ParentArea().value_or(Area{platform::ScreenWidth(), platform::ScreenHeight()});
  std::optional<int> left, top, width, height;
  bool stored = Read(form, "Left") != kNotFound;
  if (stored) {
    left = ReadNumber(form, "Left");
    top = ReadNumber(form, "Top");
    const bool sized = form.BorderStyle() == bsSizeable && Read(form, "Width") != kNotFound;
    if (sized) {
      width = ReadNumber(form, "Width");
      height = ReadNumber(form, "Height");
    }
    // A position that is not whole is not applied at all.
    stored = left && top && (!sized || (width && height));
  }
  if (!stored) {
    Centre(form, area);
  } else {
    form.SetLeft(*left);
    form.SetTop(*top);
    if (width) {
      form.SetWidth(*width);
      form.SetHeight(*height);
    }
  }
  if (Read(form, "State") != kNotFound) {
    const std::optional<int> number = ReadNumber(form, "State");
    if (number == wsNormal || number == wsMinimized || number == wsMaximized)
      form.SetWindowState(static_cast<TWindowState>(*number));
  }
  if (form.Top() <= 0 || form.Top() >= area.height) form.SetTop(1);
  if (form.Left() <= 0 || form.Left() >= area.width) form.SetLeft(1);
}

}  // namespace veilbox
