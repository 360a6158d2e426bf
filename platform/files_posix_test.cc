// The stand-in's mapping of Windows paths onto the POSIX file system.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <filesystem>

#include "platform/files.h"
#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

using veilbox::testing::PrefixOverride;
using veilbox::testing::ScratchDir;

TEST(NativePath, DriveLettersMapIntoThePrefix) {
  ScratchDir prefix;
  PrefixOverride override(prefix.str());
  const std::string c = prefix.str() + "/drive_c";
  EXPECT_EQ(NativePath("C:"), c);
  EXPECT_EQ(NativePath("c:\\"), c + "/");
  EXPECT_EQ(NativePath("C:\\Citect\\User\\master.dbf"), c + "/Citect/User/master.dbf");
  EXPECT_EQ(NativePath("d:/x"), prefix.str() + "/drive_d/x");
  EXPECT_EQ(NativePath("rel\\dir\\f.txt"), "rel/dir/f.txt");
  EXPECT_EQ(NativePath("\\\\server\\share\\f"), "//server/share/f");
}

TEST(NativePath, EveryComponentIsFoundRegardlessOfCase) {
  ScratchDir prefix;
  PrefixOverride override(prefix.str());
  prefix.Write("drive_c/Citect/User/Proj/Include.DBF", "x");
  prefix.Write("drive_c/Citect/User/Proj/exact.txt", "y");
  const std::string proj = prefix.str() + "/drive_c/Citect/User/Proj/";
  for (const char* name :
       {"C:\\CITECT\\USER\\PROJ\\INCLUDE.DBF", "c:\\citect\\user\\proj\\include.dbf",
        "C:\\Citect\\User\\Proj\\Include.dbf"}) {
    EXPECT_EQ(NativePath(name), proj + "Include.DBF") << name;
  }
  EXPECT_EQ(NativePath("C:\\citect\\user\\proj\\exact.txt"), proj + "exact.txt");
  // A directory named with a slash at its end: resolved, the slash kept,
  // the second time too (the directory is known by then).
  for (int again = 0; again < 2; ++again) {
    EXPECT_EQ(NativePath("C:\\CITECT\\USER\\PROJ\\"), proj);
    EXPECT_EQ(NativePath("c:/citect/user/proj//"), proj);
    EXPECT_EQ(NativePath("C:\\CITECT\\USER\\GONE\\"), prefix.str() + "/drive_c/Citect/User/GONE/");
  }
  // The existing part is resolved; what is missing stays as given.
  EXPECT_EQ(NativePath("C:\\CITECT\\New\\File.TXT"), prefix.str() + "/drive_c/Citect/New/File.TXT");
  EXPECT_EQ(NativePath("C:\\CITECT\\..\\citect\\user"),
            prefix.str() + "/drive_c/Citect/../Citect/User");

  std::string data;
  std::uint32_t error = 0;
  ASSERT_TRUE(
      ReadWholeFile("C:\\CITECT\\USER\\PROJ\\include.dbf", Share::kReadWrite, &data, &error));
  EXPECT_EQ(data, "x");
}

TEST(ReadWholeFile, OnlyARegularFileIsRead) {
  ScratchDir dir;
  const std::string fifo = dir.str() + "/pipe.ci.Veilbox";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string data = "kept?";
  std::uint32_t error = 0;
  // Neither the open nor a read may wait for a writer that never comes.
  EXPECT_FALSE(ReadWholeFile(fifo, Share::kNone, &data, &error));
  EXPECT_EQ(error, kErrorBadFileType);
  EXPECT_FALSE(ReadWholeFile("/dev/zero", Share::kReadWrite, &data, &error));
  EXPECT_EQ(error, kErrorBadFileType);
  EXPECT_FALSE(ReadWholeFile(dir.str(), Share::kReadWrite, &data, &error));
  EXPECT_EQ(error, kErrorAccessDenied);

  const std::string empty = dir.Write("empty.txt", "");
  EXPECT_TRUE(ReadWholeFile(empty, Share::kReadWrite, &data, &error));
  EXPECT_EQ(data, "");
}

TEST(NativePath, ExactNameWinsOverOtherCases) {
  ScratchDir dir;
  dir.Write("Name.txt", "mixed");
  dir.Write("NAME.TXT", "upper");
  EXPECT_EQ(NativePath(dir.str() + "\\NAME.TXT"), dir.str() + "/NAME.TXT");
  EXPECT_EQ(NativePath(dir.str() + "\\Name.txt"), dir.str() + "/Name.txt");
}

TEST(Attributes, ReadWhatWineAndSambaWrite) {
  ScratchDir dir;
  const std::string name = dir.Write("f.ci", "x");
  // Samba's record: the text, its zero byte, then binary fields.
  std::string samba("0x22\0", 5);
  samba += std::string(120, '\x01');
  struct Case {
    std::string value;
    std::uint32_t attributes;
  } cases[] = {
      {"0x2", kAttrHidden},
      {"0X6", kAttrHidden | kAttrSystem},
      {samba, kAttrHidden | kAttrArchive},
      {"junk", kAttrNormal},
  };
  for (const Case& c : cases) {
    if (::setxattr(name.c_str(), "user.DOSATTRIB", c.value.data(), c.value.size(), 0) != 0)
      GTEST_SKIP() << "this file system keeps no extended attributes";
    EXPECT_EQ(FileAttributes(name), c.attributes) << c.value;
  }
  ASSERT_TRUE(SetAttributes(name, kAttrHidden | kAttrSystem));
  char text[16] = {};
  ASSERT_EQ(::getxattr(name.c_str(), "user.DOSATTRIB", text, sizeof(text) - 1), 3);
  EXPECT_STREQ(text, "0x6");
}

TEST(FindFiles, WildcardsIgnoreCase) {
  ScratchDir dir;
  dir.Write("a.veilbox", "");
  dir.Write("B.VEILBOX", "");
  dir.Write("c.txt", "");
  auto names = FindFiles(dir.str() + "\\*.Veilbox");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"B.VEILBOX", "a.veilbox"}));
  names = FindFiles(dir.str() + "\\*");
  EXPECT_EQ(names.size(), 5u);  // with "." and ".."
  EXPECT_TRUE(FindFiles(dir.str() + "\\nodir\\*").empty());
}

// Only a directory that is not there, or holds no match, lists as empty;
// one that cannot be read (a link that leads round in a circle here, which
// even the superuser cannot open) is an error, never an empty listing.
TEST(FindFiles, TellsADirectoryThatCannotBeListedFromAnEmptyOne) {
  ScratchDir dir;
  dir.Write("file", "");
  ASSERT_EQ(::symlink("loop", (dir.path() / "loop").c_str()), 0);
  struct Case {
    const char* pattern;
    bool listed;
  };
  for (const Case& c : {Case{"\\nodir\\*.Veilbox", true}, Case{"\\file\\*.Veilbox", true},
                        Case{"\\*.Veilbox", true}, Case{"\\loop\\*.Veilbox", false}}) {
    std::vector<std::string> names{"stale"};
    std::uint32_t error = 0;
    EXPECT_EQ(FindFiles(dir.str() + c.pattern, &names, &error), c.listed) << c.pattern;
    EXPECT_TRUE(names.empty()) << c.pattern;
    EXPECT_EQ(error != 0, !c.listed) << c.pattern;
  }
}

}  // namespace
}  // namespace veilbox::platform

namespace veilbox::platform {
namespace {

TEST(CreateNewPrivate, IsModeSixHundredWhateverTheUmaskAndFollowsNoLink) {
  ScratchDir dir;
  const std::string target = dir.Write("elsewhere.txt", "untouched");
  std::filesystem::create_symlink(target, dir.path() / "LINK.CI");
  std::filesystem::create_symlink(dir.path() / "nowhere.txt", dir.path() / "DANGLING.CI");
  File file;
  std::uint32_t error = 0;
  for (const char* name : {"LINK.CI", "DANGLING.CI"}) {
    EXPECT_FALSE(File::CreateNewPrivate((dir.path() / name).string(), &file, &error)) << name;
    EXPECT_EQ(error, kErrorFileExists);
  }
  EXPECT_EQ(veilbox::testing::ReadFileBytes(target), "untouched");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "nowhere.txt"));

  for (const mode_t mask : {mode_t{0}, mode_t{077}, mode_t{0777}}) {
    const mode_t old = ::umask(mask);
    // Appended, not "P" + ...: GCC 12 warns wrongly on that in optimised builds.
    std::string leaf = "P";
    const std::string name = (dir.path() / leaf.append(std::to_string(mask))).string();
    const bool made = File::CreateNewPrivate(name, &file, &error);
    ::umask(old);
    ASSERT_TRUE(made) << error;
    file.Close();
    struct stat st;
    ASSERT_EQ(::stat(name.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << mask;
  }
}

TEST(InspectEntry, LinksAndSecondNamesAreSeenForWhatTheyAre) {
  ScratchDir dir;
  const std::string target = dir.Write("t.txt", "t");
  std::filesystem::create_symlink(target, dir.path() / "link");
  std::filesystem::create_hard_link(target, dir.path() / "second");
  ::mkfifo((dir.path() / "fifo").c_str(), 0600);
  EntryInfo info;
  std::uint32_t error = 0;
  ASSERT_TRUE(InspectEntry((dir.path() / "link").string(), &info, &error));
  EXPECT_EQ(info.kind, EntryKind::kLink);
  ASSERT_TRUE(InspectEntry((dir.path() / "second").string(), &info, &error));
  EXPECT_EQ(info.kind, EntryKind::kFile);
  EXPECT_EQ(info.links, 2u);
  ASSERT_TRUE(InspectEntry((dir.path() / "fifo").string(), &info, &error));
  EXPECT_EQ(info.kind, EntryKind::kOther);
  // A link moves as itself.
  ASSERT_TRUE(
      RenameNoReplace((dir.path() / "link").string(), (dir.path() / "moved").string(), &error));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "moved"));
}

// Asking where the Windows directory is writes nothing, even when the
// prefix has none yet.
TEST(WindowsDirectory, IsNamedNotMade) {
  ScratchDir prefix;
  PrefixOverride override(prefix.str());
  std::string windows;
  std::uint32_t error = 0;
  ASSERT_TRUE(WindowsDirectory(&windows, &error)) << error;
  EXPECT_EQ(windows, prefix.str() + "/windows");
  EXPECT_FALSE(std::filesystem::exists(windows));
}

}  // namespace
}  // namespace veilbox::platform
