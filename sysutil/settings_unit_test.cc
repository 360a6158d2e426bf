#include "sysutil/settings_unit.h"

#include <gtest/gtest.h>

#include "sysutil/globals.h"

namespace veilbox {
namespace {

TEST(SettingsUnit, DefaultTitle) {
  const struct {
    const char* file;
    const char* title;
  } cases[] = {
      {"C:\\Citect\\Bin\\WRAPPER.EXE", "Wrapper"},
      {"C:\\Dir.With.Dots\\veilbox.exe", "veilbox"},
      {"C:\\x\\MY.TOOL.EXE", "My"},
      {"/usr/local/bin/Ctcompile", "Ctcompile"},
      {"\xC4RGER.EXE", "\xC4rger"},
      {"\xE4RGER.EXE", "\xE4rger"},
      {"C:\\x\\.hidden", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DefaultTitle(c.file), c.title) << c.file;
}

TEST(SettingsUnit, StartAndEnd) {
  const std::string old_base = RegBasePath;
  const RegistryRoot old_root = RegRoot;
  RegRoot = kHkeyLocalMachine;
  StartSettingsUnit();
  // This test program is veilbox_tests (.exe on Windows).
  EXPECT_EQ(RegBasePath, "Software\\Talvoren\\veilbox_tests");
  EXPECT_EQ(RegRoot, kHkeyCurrentUser);
  LastStatus = kSuccessText;
  EndSettingsUnit();
  EXPECT_TRUE(RegBasePath.empty());
  EXPECT_TRUE(LastStatus.empty());
  RegBasePath = old_base;
  RegRoot = old_root;
}

}  // namespace
}  // namespace veilbox
