#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/profile.h"
#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

TEST(PrivateProfilePosix, BareNameLiesInTheWindowsDirectory) {
  veilbox::testing::ScratchDir prefix;
  veilbox::testing::PrefixOverride override_prefix(prefix.str());
  std::string windows_dir;
  std::uint32_t error = 0;
  ASSERT_TRUE(GetWindowsDirectory(&windows_dir, &error));
  std::filesystem::create_directories(NativePath(windows_dir));
  ASSERT_TRUE(SetProfileValue("CTEDIT", "BIN", "C:\\Bin", "Citect.ini"));
  EXPECT_EQ(GetProfileValue("ctedit", "bin", "-1", "CITECT.INI"), "C:\\Bin");
  EXPECT_EQ(veilbox::testing::ReadFileBytes(NativePath(windows_dir + "\\Citect.ini")),
            "[CTEDIT]\r\nBIN=C:\\Bin\r\n");
}

}  // namespace
}  // namespace veilbox::platform
