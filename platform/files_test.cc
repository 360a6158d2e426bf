#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

using veilbox::testing::ScratchDir;

std::string Sep() { return std::string(1, std::filesystem::path::preferred_separator); }

TEST(Files, CreateWriteReadBack) {
  ScratchDir dir;
  const std::string name = dir.str() + Sep() + "data.bin";
  std::uint32_t error = 0;
  {
    File file;
    ASSERT_TRUE(File::CreateAlways(name, &file, &error)) << error;
    ASSERT_TRUE(file.Append("hello ", 6));
    ASSERT_TRUE(file.Append("world", 5));
    ASSERT_TRUE(file.WriteAt(0, "J", 1));
    EXPECT_EQ(file.Size(), 11u);
  }
  std::string data;
  ASSERT_TRUE(ReadWholeFile(name, Share::kReadWrite, &data, &error)) << error;
  EXPECT_EQ(data, "Jello world");

  File file;
  ASSERT_TRUE(File::OpenExisting(name, true, Share::kReadWrite, &file, &error)) << error;
  char buffer[8] = {};
  std::size_t got = 0;
  ASSERT_TRUE(file.ReadAt(6, buffer, sizeof(buffer), &got));
  EXPECT_EQ(std::string(buffer, got), "world");
  ASSERT_TRUE(file.ReadAt(100, buffer, sizeof(buffer), &got));
  EXPECT_EQ(got, 0u);
  file.Close();
  EXPECT_FALSE(file.is_open());

  // Creating again truncates.
  File again;
  ASSERT_TRUE(File::CreateAlways(name, &again, &error));
  EXPECT_EQ(again.Size(), 0u);
}

TEST(Files, OpenErrorsCarryWindowsCodes) {
  ScratchDir dir;
  std::uint32_t error = 0;
  File file;
  EXPECT_FALSE(File::OpenExisting(dir.str() + Sep() + "missing.dbf", false, Share::kReadWrite,
                                  &file, &error));
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_FALSE(File::OpenExisting(dir.str() + Sep() + "nodir" + Sep() + "x.dbf", false,
                                  Share::kReadWrite, &file, &error));
  EXPECT_EQ(error, kErrorPathNotFound);
  EXPECT_FALSE(File::OpenExisting(dir.str(), false, Share::kReadWrite, &file, &error));
  EXPECT_EQ(error, kErrorAccessDenied);
  EXPECT_FALSE(file.is_open());
}

TEST(Files, SharingBetweenOpeners) {
  ScratchDir dir;
  const std::string name = dir.Write("shared.dbf", "x");
  struct Case {
    Share first, second;
    bool second_opens;
  } cases[] = {
      {Share::kReadWrite, Share::kReadWrite, true},
      {Share::kReadWrite, Share::kNone, false},
      {Share::kNone, Share::kReadWrite, false},
      {Share::kNone, Share::kNone, false},
  };
  for (const Case& c : cases) {
    std::uint32_t error = 0;
    File first, second;
    ASSERT_TRUE(File::OpenExisting(name, true, c.first, &first, &error)) << error;
    EXPECT_EQ(File::OpenExisting(name, false, c.second, &second, &error), c.second_opens);
    if (!c.second_opens) {
      EXPECT_EQ(error, kErrorSharingViolation);
    }
  }
}

TEST(Files, HiddenAttributeRoundTripAndCreateAlwaysRefusal) {
  ScratchDir dir;
  const std::string name = dir.Write("plain.ci", "old");
  ASSERT_TRUE(SetAttributes(name, kAttrHidden));
  if (!(FileAttributes(name) & kAttrHidden))
    GTEST_SKIP() << "this file system keeps no hidden attribute";
  EXPECT_EQ(FileAttributes(name) & (kAttrHidden | kAttrDirectory | kAttrReadOnly), kAttrHidden);

  File file;
  std::uint32_t error = 0;
  EXPECT_FALSE(File::CreateAlways(name, &file, &error));
  EXPECT_EQ(error, kErrorAccessDenied);
  EXPECT_EQ(veilbox::testing::ReadFileBytes(name), "old");
  file.Close();

  ASSERT_TRUE(SetAttributes(name, kAttrNormal));
  EXPECT_FALSE(FileAttributes(name) & kAttrHidden);
  EXPECT_TRUE(File::CreateAlways(name, &file, &error)) << error;
}

TEST(Files, ReadOnlyAttribute) {
  ScratchDir dir;
  const std::string name = dir.Write("ro.txt", "x");
  ASSERT_TRUE(SetAttributes(name, kAttrReadOnly));
  EXPECT_TRUE(FileAttributes(name) & kAttrReadOnly);
  std::uint32_t error = 0;
  File file;
  EXPECT_FALSE(File::OpenExisting(name, true, Share::kReadWrite, &file, &error));
  EXPECT_EQ(error, kErrorAccessDenied);
  file.Close();
  EXPECT_FALSE(RemoveFile(name, &error));
  EXPECT_EQ(error, kErrorAccessDenied);
  ASSERT_TRUE(SetAttributes(name, kAttrNormal));
  EXPECT_TRUE(RemoveFile(name, &error)) << error;
}

TEST(Files, ExistenceDeleteRenameAndDirectories) {
  ScratchDir dir;
  const std::string a = dir.Write("a.txt", "A");
  const std::string b = dir.Write("b.txt", "B");
  const std::string sub = dir.str() + Sep() + "sub";
  std::uint32_t error = 0;
  ASSERT_TRUE(MakeDirectory(sub, &error)) << error;
  EXPECT_FALSE(MakeDirectory(sub, &error));
  EXPECT_EQ(error, kErrorAlreadyExists);
  EXPECT_TRUE(DirectoryExists(sub));
  EXPECT_FALSE(FileExists(sub));
  EXPECT_TRUE(FileExists(a));
  EXPECT_EQ(FileAttributes(sub) & kAttrDirectory, kAttrDirectory);
  EXPECT_EQ(FileAttributes(dir.str() + Sep() + "none"), kInvalidAttributes);

  ASSERT_TRUE(RenameReplace(a, b, &error)) << error;
  EXPECT_FALSE(FileExists(a));
  EXPECT_EQ(veilbox::testing::ReadFileBytes(b), "A");

  struct Case {
    std::string name;
    std::uint32_t code;
  } cases[] = {
      {a, kErrorFileNotFound},
      {dir.str() + Sep() + "nodir" + Sep() + "x", kErrorPathNotFound},
      {sub, kErrorAccessDenied},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(RemoveFile(c.name, &error)) << c.name;
    EXPECT_EQ(error, c.code) << c.name;
  }
  EXPECT_TRUE(RemoveFile(b, &error));
  EXPECT_FALSE(FileExists(b));
}

TEST(Files, DeleteOfAFileHeldOpenIsASharingViolation) {
  ScratchDir dir;
  const std::string name = dir.Write("held.dbf", "x");
  File file;
  std::uint32_t error = 0;
  ASSERT_TRUE(File::OpenExisting(name, false, Share::kReadWrite, &file, &error));
  EXPECT_FALSE(RemoveFile(name, &error));
  EXPECT_EQ(error, kErrorSharingViolation);
  file.Close();
  EXPECT_TRUE(RemoveFile(name, &error)) << error;
}

}  // namespace
}  // namespace veilbox::platform

namespace veilbox::platform {
namespace {

TEST(Files, CreateNewPrivateMakesAHiddenNewFileAndNeverOpensAnExistingEntry) {
  ScratchDir dir;
  const std::string name = dir.str() + Sep() + "PLAIN.CI";
  std::uint32_t error = 0;
  {
    File file;
    ASSERT_TRUE(File::CreateNewPrivate(name, &file, &error)) << error;
    // Hidden before a byte is written (where attributes are kept at all).
    const std::uint32_t attributes = FileAttributes(name);
    if (attributes & kAttrHidden) {
      EXPECT_EQ(attributes & (kAttrReadOnly | kAttrSystem | kAttrDirectory), 0u);
    }
    ASSERT_TRUE(file.Append("text", 4));
  }
  EXPECT_EQ(veilbox::testing::ReadFileBytes(name), "text");
  // Anything at the name: the file just made, someone's file, a directory.
  const std::string mine = dir.Write("mine.ci", "mine");
  std::filesystem::create_directories(dir.path() / "DIR.CI");
  for (const std::string& taken : {name, mine, dir.str() + Sep() + "DIR.CI"}) {
    File file;
    EXPECT_FALSE(File::CreateNewPrivate(taken, &file, &error)) << taken;
    EXPECT_TRUE(error == kErrorFileExists || error == kErrorAlreadyExists ||
                error == kErrorAccessDenied)
        << error;
  }
  EXPECT_EQ(veilbox::testing::ReadFileBytes(mine), "mine");
  EXPECT_EQ(veilbox::testing::ReadFileBytes(name), "text");
}

TEST(Files, InspectEntryTellsWhatStandsAtAName) {
  ScratchDir dir;
  const std::string file = dir.Write("f.ci", "x");
  SetAttributes(file, kAttrReadOnly);
  std::filesystem::create_directories(dir.path() / "d");
  EntryInfo info;
  std::uint32_t error = 0;
  ASSERT_TRUE(InspectEntry(file, &info, &error)) << error;
  EXPECT_EQ(info.kind, EntryKind::kFile);
  EXPECT_EQ(info.links, 1u);
  EXPECT_NE(info.attributes & kAttrReadOnly, 0u);
  SetAttributes(file, kAttrNormal);
  ASSERT_TRUE(InspectEntry(dir.str() + Sep() + "d", &info, &error));
  EXPECT_EQ(info.kind, EntryKind::kDirectory);
  ASSERT_TRUE(InspectEntry(dir.str() + Sep() + "none", &info, &error));
  EXPECT_EQ(info.kind, EntryKind::kMissing);
  ASSERT_TRUE(InspectEntry(dir.str() + Sep() + "nodir" + Sep() + "none", &info, &error));
  EXPECT_EQ(info.kind, EntryKind::kMissing);
}

TEST(Files, RenameNoReplaceMovesOnlyToAFreeName) {
  ScratchDir dir;
  const std::string a = dir.Write("a.ci", "a");
  const std::string b = dir.Write("b.ci", "b");
  const std::string c = dir.str() + Sep() + "c.ci";
  std::uint32_t error = 0;
  EXPECT_FALSE(RenameNoReplace(a, b, &error));
  EXPECT_TRUE(error == kErrorFileExists || error == kErrorAlreadyExists) << error;
  EXPECT_EQ(veilbox::testing::ReadFileBytes(b), "b");
  ASSERT_TRUE(RenameNoReplace(a, c, &error)) << error;
  EXPECT_FALSE(FileExists(a));
  EXPECT_EQ(veilbox::testing::ReadFileBytes(c), "a");
  EXPECT_FALSE(RenameNoReplace(a, dir.str() + Sep() + "d.ci", &error));
}

}  // namespace
}  // namespace veilbox::platform
