#include "sysutil/file_utils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/files.h"
#include "sysutil/globals.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

using veilbox::testing::ScratchDir;

const std::string kSep(1, std::filesystem::path::preferred_separator);

TEST(ListFiles, TakesEveryEntryWhateverItsAttributes) {
  ScratchDir dir;
  dir.Write("A.Veilbox", "a");
  const std::string hidden = dir.Write("B.Veilbox", "b");
  ASSERT_TRUE(platform::SetAttributes(hidden, platform::kAttrHidden));
  std::filesystem::create_directory(dir.path() / "C.Veilbox");
  dir.Write("D.ci", "d");

  std::vector<std::string> list = {"stale"};
  ListFiles(list, dir.str() + "\\*.Veilbox");
  std::sort(list.begin(), list.end());
  EXPECT_EQ(list, (std::vector<std::string>{"A.Veilbox", "B.Veilbox", "C.Veilbox"}));

  ListFiles(list, dir.str() + kSep + "*");
  EXPECT_NE(std::find(list.begin(), list.end(), ".."), list.end());
  EXPECT_EQ(list.size(), 6u);

  ListFiles(list, dir.str() + "\\missing\\*.Veilbox");
  EXPECT_TRUE(list.empty());
}

TEST(DeleteFileChecked, RecordsTheOutcome) {
  ScratchDir dir;
  const std::string file = dir.Write("plain.ci", "x");
  DeleteFileChecked(file);
  EXPECT_EQ(LastStatus, kSuccessText);
  EXPECT_FALSE(std::filesystem::exists(file));

  std::filesystem::create_directory(dir.path() / "sub");
  struct Case {
    std::string name;
    std::string message;
  } cases[] = {
      {file, "File not found"},
      {dir.str() + kSep + "nodir" + kSep + "x.ci", "Invalid filename"},
      {dir.str() + kSep + "sub", "File access denied"},
  };
  for (const Case& c : cases) {
    DeleteFileChecked(c.name);
    EXPECT_EQ(LastStatus, "Unable to delete file " + c.name + "\r\n" + c.message);
  }
}

TEST(DeleteFileChecked, MessageTable) {
  struct Case {
    std::uint32_t code;
    const char* message;
  } cases[] = {
      {2, "File not found"},
      {3, "Invalid filename"},
      {4, "Too many open files"},
      {5, "File access denied"},
      {100, "Read beyond end of file"},
      {101, "Disk full"},
      {106, "Invalid numeric input"},
      {32, "I/O error 32"},
      {0, "I/O error 0"},
  };
  for (const Case& c : cases) EXPECT_EQ(IoErrorMessage(c.code), c.message);
}

// Named even where the stand-in's prefix has none yet: asking makes nothing.
TEST(GetWindowsDir, IsNamed) {
  ScratchDir prefix;
  veilbox::testing::PrefixOverride override(prefix.str());
  const std::string dir = GetWindowsDir();
  EXPECT_NE(dir, "Error");
  EXPECT_FALSE(dir.empty());
}

}  // namespace
}  // namespace veilbox
