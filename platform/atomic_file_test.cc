#include "platform/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/files.h"
#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

namespace fs = std::filesystem;
using veilbox::testing::ReadFileBytes;
using veilbox::testing::ScratchDir;

std::string Sep() { return std::string(1, fs::path::preferred_separator); }

TEST(AtomicFile, ReplacesOrCreatesTheFileWholeAndLeavesNoTemporary) {
  ScratchDir dir;
  const std::string path = dir.Write("journal", "the old record, longer than the new");
  const std::string temp = path + ".tmp";
  EXPECT_TRUE(WriteFileAtomically(path, temp, "new").ok());
  EXPECT_EQ(ReadFileBytes(path), "new");

  const std::string fresh = dir.str() + Sep() + "fresh";
  bool prepared = false;
  EXPECT_TRUE(WriteFileAtomically(fresh, fresh + ".partial", "", [&](const std::string& t) {
                prepared = ReadFileBytes(t).empty() && !fs::exists(fresh);
                return true;
              }).ok());
  EXPECT_TRUE(prepared) << "the hook runs on the temporary file, before the rename";
  EXPECT_TRUE(fs::exists(fresh));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

// Each failing step leaves the file as it was and no temporary file, and
// says which step failed.
TEST(AtomicFile, AFailedStepLeavesTheOldFileAndNoTemporary) {
  ScratchDir dir;
  const std::string path = dir.Write("settings", "old");
  std::string inside = "busy";
  inside += Sep();
  inside += "inside";
  dir.Write(inside, "a directory that is not empty");
  struct Case {
    const char* what;
    std::string path;
    std::string temp;
    bool prepare;
    AtomicWriteStep step;
    const char* text;
  } cases[] = {
      {"no directory for the temporary", path, dir.str() + Sep() + "missing" + Sep() + "t", true,
       AtomicWriteStep::kCreate, "cannot create "},
      {"the hook refuses", path, path + ".tmp", false, AtomicWriteStep::kPrepare,
       "cannot prepare "},
      {"a directory at the name", dir.str() + Sep() + "busy", path + ".tmp", true,
       AtomicWriteStep::kRename, "cannot rename "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const AtomicWriteResult result =
        WriteFileAtomically(c.path, c.temp, "new", [&](const std::string&) { return c.prepare; });
    EXPECT_EQ(result.step, c.step);
    EXPECT_EQ(DescribeAtomicWrite(result, c.path, c.temp).rfind(c.text, 0), 0u);
    EXPECT_FALSE(fs::exists(c.temp));
    EXPECT_EQ(ReadFileBytes(path), "old");
  }
  EXPECT_EQ(ReadFileBytes(dir.path() / "busy" / "inside"), "a directory that is not empty");
}

// A file created whole is new: whatever stands at its name (a file, even
// an empty one; a directory) stays as it was, and the failure says the
// name is taken.
TEST(AtomicFile, CreatingNeverReplaces) {
  ScratchDir dir;
  const std::string fresh = dir.str() + Sep() + "fresh";
  ASSERT_TRUE(CreateFileAtomically(fresh, fresh + ".tmp", "first").ok());
  EXPECT_EQ(ReadFileBytes(fresh), "first");
  dir.Write("empty", "");
  dir.Write(std::string("dir") + Sep() + "inside", "x");
  for (const char* name : {"fresh", "empty", "dir"}) {
    SCOPED_TRACE(name);
    const std::string path = dir.str() + Sep() + name;
    const std::string before = fs::is_directory(path) ? "" : ReadFileBytes(path);
    const AtomicWriteResult result = CreateFileAtomically(path, path + ".tmp", "second");
    EXPECT_EQ(result.step, AtomicWriteStep::kRename);
    EXPECT_TRUE(result.error == kErrorFileExists || result.error == kErrorAlreadyExists)
        << result.error;
    EXPECT_FALSE(fs::exists(path + ".tmp"));
    if (!fs::is_directory(path)) {
      EXPECT_EQ(ReadFileBytes(path), before);
    }
  }
  EXPECT_EQ(ReadFileBytes(dir.path() / "dir" / "inside"), "x");
}

// Bytes handed over in pieces, small and larger than a block, reach the
// file in their order; a source that stops part-way leaves the old file
// and no temporary.
TEST(AtomicFile, PiecesReachTheFileInOrderOrNotAtAll) {
  ScratchDir dir;
  const std::string path = dir.Write("journal", "old");
  std::vector<std::string> pieces;
  for (int i = 0; i < 5000; ++i) pieces.push_back("line " + std::to_string(i) + "\n");
  pieces.push_back(std::string(200 * 1024, 'x'));  // larger than a block
  pieces.push_back("after\n");
  std::string whole;
  for (const std::string& piece : pieces) whole += piece;
  const auto hand_over = [&](std::size_t stop_at) {
    return [&pieces, stop_at](const AppendBytes& append) {
      for (std::size_t i = 0; i < pieces.size(); ++i)
        if (i == stop_at || !append(pieces[i])) return false;
      return true;
    };
  };
  const AtomicWriteResult stopped = WriteFileAtomically(path, path + ".tmp", hand_over(4000));
  EXPECT_EQ(stopped.step, AtomicWriteStep::kWrite);
  EXPECT_EQ(ReadFileBytes(path), "old");
  EXPECT_FALSE(fs::exists(path + ".tmp"));

  ASSERT_TRUE(WriteFileAtomically(path, path + ".tmp", hand_over(pieces.size())).ok());
  EXPECT_EQ(ReadFileBytes(path), whole);
  const std::string fresh = dir.str() + Sep() + "fresh";
  ASSERT_TRUE(CreateFileAtomically(fresh, fresh + ".tmp", hand_over(pieces.size())).ok());
  EXPECT_EQ(ReadFileBytes(fresh), whole);
}

}  // namespace
}  // namespace veilbox::platform
