// Which registry view the settings are read from, on the stand-in, which
// keeps the 32-bit view of HKEY_LOCAL_MACHINE\Software below its
// WOW6432Node as 64-bit Windows does. (The Windows build is checked end
// to end, with the settings imported by reg.exe into either view.)
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "app/settings_view.h"
#include "platform/registry.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

std::string Section(const std::string& key, const std::map<std::string, std::string>& values) {
  std::string text = "[HKEY_LOCAL_MACHINE\\" + key + "]\r\n";
  for (const auto& [name, value] : values) text += "\"" + name + "\"=\"" + value + "\"\r\n";
  return text + "\r\n";
}

const char k32[] = "Software\\WOW6432Node\\Talvoren\\Veilbox";
const char k64[] = "Software\\Talvoren\\Veilbox";

TEST(SettingsView, The32BitViewWinsAndThe64BitViewIsReadOnlyWithoutIt) {
  const struct {
    const char* what;
    std::string file;
    RegView view;
    std::string attach_name;  // as the run reads it
  } cases[] = {
      {"only in the 32-bit view", Section(k32, {{"AttachName", "ct32.exe"}}), RegView::k32,
       "ct32.exe"},
      {"only in the 64-bit view", Section(k64, {{"AttachName", "ct64.exe"}}), RegView::k64,
       "ct64.exe"},
      {"in both",
       Section(k64, {{"AttachName", "ct64.exe"}}) + Section(k32, {{"AttachName", "ct32.exe"}}),
       RegView::k32, "ct32.exe"},
      {"the 32-bit key without the value",
       Section(k64, {{"AttachName", "ct64.exe"}}) + Section(k32, {}), RegView::k32, kNotFound},
      {"lower-case names",
       Section("SOFTWARE\\wow6432node\\TALVOREN\\veilbox", {{"AttachName", "x.exe"}}), RegView::k32,
       "x.exe"},
      {"in neither", "", RegView::k64, kNotFound},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ScratchDir dir;
    testing::PrefixOverride prefix(dir.str());
    std::ofstream(dir.path() / "registry.reg", std::ios::binary) << kHeader + c.file;
    const RegView view = SettingsView();
    EXPECT_EQ(view, c.view);
    EXPECT_EQ(ReadRegString(kHkeyLocalMachine, "Software\\Talvoren\\Veilbox\\AttachName", view),
              c.attach_name);
    EXPECT_EQ(LastStatus, kSuccessText);
  }
}

TEST(SettingsView, WritesInThe32BitViewLandBelowWow6432Node) {
  testing::ScratchDir dir;
  testing::PrefixOverride prefix(dir.str());
  platform::RegKey key;
  ASSERT_EQ(platform::CreateRegKey(kHkeyLocalMachine, nullptr, "Software\\Talvoren\\Veilbox", &key,
                                   platform::kKeyWow64_32Key),
            platform::kRegSuccess);
  ASSERT_EQ(platform::SetRegValue(key, "CitectVer", platform::kRegSz, std::string("7.20\0", 5)),
            platform::kRegSuccess);
  EXPECT_TRUE(
      RegKeyExists(kHkeyLocalMachine, "Software\\WOW6432Node\\Talvoren\\Veilbox", RegView::kOwn));
  EXPECT_FALSE(RegKeyExists(kHkeyLocalMachine, "Software\\Talvoren", RegView::k64));
  EXPECT_EQ(
      ReadRegString(kHkeyLocalMachine, "Software\\Talvoren\\Veilbox\\CitectVer", RegView::k32),
      "7.20");
  EXPECT_EQ(ReadRegString(kHkeyLocalMachine, "Software\\Talvoren\\Veilbox\\CitectVer"), kNotFound);
}

}  // namespace
}  // namespace veilbox
