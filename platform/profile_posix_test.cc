#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/profile.h"
#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

namespace fs = std::filesystem;
using veilbox::testing::ReadFileBytes;

TEST(PrivateProfilePosix, BareNameLiesInTheWindowsDirectory) {
  veilbox::testing::ScratchDir prefix;
  veilbox::testing::PrefixOverride override_prefix(prefix.str());
  std::string windows_dir;
  std::uint32_t error = 0;
  ASSERT_TRUE(WindowsDirectory(&windows_dir, &error));
  std::filesystem::create_directories(NativePath(windows_dir));
  ASSERT_TRUE(SetProfileValue("CTEDIT", "BIN", "C:\\Bin", "Citect.ini"));
  EXPECT_EQ(GetProfileValue("ctedit", "bin", "-1", "CITECT.INI"), "C:\\Bin");
  EXPECT_EQ(veilbox::testing::ReadFileBytes(NativePath(windows_dir + "\\Citect.ini")),
            "[CTEDIT]\r\nBIN=C:\\Bin\r\n");
}

// A settings file that is a link to a shared one, with its own mode, owner
// and attributes: the write edits the shared file and keeps all of that;
// temporary files of writers that died go, a live writer's stays.
TEST(PrivateProfilePosix, WriteEditsTheRealFileAndKeepsWhatItIs) {
  veilbox::testing::ScratchDir dir;
  const std::string real = dir.Write("shared/Citect.ini", "[CTEDIT]\r\nBIN=old\r\n");
  fs::create_directories(dir.path() / "windows");
  const fs::path link = dir.path() / "windows" / "Citect.ini";
  fs::create_symlink("../shared/Citect.ini", link);
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  ASSERT_TRUE(SetAttributes(real, kAttrSystem));
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(real.c_str(), 4321, 4322), 0);
  }

  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  const std::string dead_temp = dir.Write("shared/Citect.ini.~" + std::to_string(dead), "x");
  const std::string live_temp = dir.Write("shared/Citect.ini.~" + std::to_string(getppid()), "x");

  ASSERT_TRUE(SetProfileValue("CTEDIT", "BIN", "new", link.string()));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(real), "[CTEDIT]\r\nBIN=new\r\n");
  struct stat st;
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
  }
  EXPECT_EQ(FileAttributes(real) & kAttrSystem, kAttrSystem);
  EXPECT_FALSE(fs::exists(dead_temp));
  EXPECT_TRUE(fs::exists(live_temp));
  EXPECT_FALSE(fs::exists(real + ".~" + std::to_string(getpid())));
}

// A file with a second hard link is edited in place: both names see it.
TEST(PrivateProfilePosix, HardLinkedFileStaysOneFile) {
  veilbox::testing::ScratchDir dir;
  const std::string ini = dir.Write("Citect.ini", "[CTEDIT]\r\n");
  fs::create_hard_link(ini, dir.path() / "other.ini");
  ASSERT_TRUE(SetProfileValue("CTEDIT", "USER", "C:\\User", ini));
  EXPECT_EQ(ReadFileBytes(dir.path() / "other.ini"), "[CTEDIT]\r\nUSER=C:\\User\r\n");
  EXPECT_EQ(fs::hard_link_count(ini), 2u);
}

}  // namespace
}  // namespace veilbox::platform
