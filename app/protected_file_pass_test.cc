#include "app/protected_file_pass.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "protect/protected_file.h"
#include "sysutil/errors.h"
#include "sysutil/globals.h"
#include "sysutil/text_utils.h"
#include "testing/dbf_writer.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

using veilbox::testing::MakeIncludeDbf;
using veilbox::testing::MakeMasterDbf;

class RecordingUi : public RunUi {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowErrorDialog(const std::string& text) override { messages.push_back("Error: " + text); }
  void RestorePlacement() override {}
  void HideWindow() override {}
  std::vector<std::string> messages;
};

// Projects below a scratch directory, each with its ProtectedFiles and
// its includes, and the master table that names them.
class PassTest : public ::testing::Test {
 protected:
  void Project(const std::string& name, const std::vector<std::string>& files,
               const std::vector<std::string>& includes) {
    for (const std::string& file : files) dir_.Write(name + "/" + file, "x");
    if (!includes.empty()) {
      std::vector<veilbox::testing::DbfRecord> records;
      for (const std::string& include : includes) records.push_back({{include}});
      dir_.Write(name + "/Include.dbf", MakeIncludeDbf(records));
    }
    master_.push_back({{name, Dir(name)}});
  }
  std::string Dir(const std::string& name) const { return (dir_.path() / name).string(); }
  std::string Entry(const std::string& project, const std::string& file) const {
    return UpperAscii(AddBackslash(Dir(project)) + file);
  }
  std::vector<std::string> Collect(const std::string& dir) {
    dir_.Write("master/master.dbf", MakeMasterDbf(master_));
    MasterPath = (dir_.path() / "master").string();
    std::vector<std::string> list;
    WalkedDirectories walked;
    MasterIndex master_index;
    CollectProtectedFiles(ui_, dir, true, list, walked, master_index);
    return list;
  }

  veilbox::testing::ScratchDir dir_;
  std::vector<veilbox::testing::DbfRecord> master_;
  RecordingUi ui_;
};

TEST_F(PassTest, WalksDepthFirstAndEachDirectoryOnce) {
  Project("P", {"p.ci.Veilbox"}, {"A", "B"});
  Project("A", {"a.ci.Veilbox"}, {"C"});
  Project("B", {"b.ci.Veilbox"}, {});
  Project("C", {"c.ci.Veilbox"}, {"p", "B"});  // back to P, and B ahead of P's turn
  EXPECT_EQ(Collect(Dir("P")),
            (std::vector<std::string>{Entry("P", "p.ci.Veilbox"), Entry("A", "a.ci.Veilbox"),
                                      Entry("C", "c.ci.Veilbox"), Entry("B", "b.ci.Veilbox")}));
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(PassTest, AnUnknownIncludeEndsOnlyItsOwnTable) {
  Project("Q", {"q.ci.Veilbox"}, {"P", "B"});
  Project("P", {"p.ci.Veilbox"}, {"Nope", "A"});
  Project("A", {"a.ci.Veilbox"}, {});
  Project("B", {"b.ci.Veilbox"}, {});
  EXPECT_EQ(Collect(AddBackslash(Dir("Q"))),
            (std::vector<std::string>{Entry("Q", "q.ci.Veilbox"), Entry("P", "p.ci.Veilbox"),
                                      Entry("B", "b.ci.Veilbox")}));
  EXPECT_EQ(ui_.messages, std::vector<std::string>{"Unable to find include \"Nope\" in Table " +
                                                   AddBackslash(MasterPath) + "Master.dbf."});
}

TEST_F(PassTest, ATableThatCannotBeOpenedEndsTheRunWith249) {
  struct Case {
    const char* include_table;  // bytes of P's Include.dbf
    bool master_present;
    const char* message_tail;  // after "Error : Unable to open "
  };
  const Case cases[] = {
      {"short", true, "Include.dbf."},
      {nullptr, false, "master.dbf"},
  };
  for (const Case& c : cases) {
    veilbox::testing::ScratchDir dir;
    dir.Write("P/Include.dbf", c.include_table ? c.include_table : MakeIncludeDbf({{{"A"}}}));
    if (c.master_present) dir.Write("M/master.dbf", MakeMasterDbf({}));
    MasterPath = (dir.path() / "M").string();
    const std::string failing = c.include_table ? (dir.path() / "P").string() : MasterPath;
    RecordingUi ui;
    std::vector<std::string> list;
    WalkedDirectories walked;
    MasterIndex master_index;
    try {
      CollectProtectedFiles(ui, (dir.path() / "P").string(), true, list, walked, master_index);
      ADD_FAILURE() << "the run went on: " << c.message_tail;
    } catch (const RunEnded& end) {
      EXPECT_EQ(end.code(), 249);
    }
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Error : Unable to open " +
                                                    AddBackslash(failing) + c.message_tail});
  }
}

// A chain of includes is walked to its deepest allowed level; one level
// more ends the run like a table that cannot be opened, never with a stack
// overflow or running out of handles.
TEST_F(PassTest, IncludeChainDepth) {
  const auto name = [](int level) {
    std::string text = "L";  // appended, not "L" + ...: GCC 12 warns wrongly on that
    return text.append(std::to_string(level));
  };
  for (int level = 0; level < kMaxIncludeDepth; ++level) {
    Project(name(level), {"f.ci.Veilbox"}, {name(level + 1)});
  }
  Project(name(kMaxIncludeDepth), {"f.ci.Veilbox"}, {});
  EXPECT_EQ(Collect(Dir(name(0))).size(), static_cast<std::size_t>(kMaxIncludeDepth) + 1);
  EXPECT_TRUE(ui_.messages.empty());

  dir_.Write(name(kMaxIncludeDepth) + "/Include.dbf", MakeIncludeDbf({{{name(0)}}}));
  try {
    Collect(Dir(name(0)));
    ADD_FAILURE() << "the run went on";
  } catch (const RunEnded& end) {
    EXPECT_EQ(end.code(), 249);
  }
  EXPECT_EQ(ui_.messages,
            std::vector<std::string>{"Error : Unable to open " +
                                     AddBackslash(Dir(name(kMaxIncludeDepth))) + "Include.dbf."});
}

// The decryption loop records every plain file's name with what stands
// there before it writes the first one, and writes nothing when that
// record cannot be made.
TEST_F(PassTest, DecryptionRecordsWhatStandsAtEachNameFirst) {
  TextList header, body;
  for (const char* line : {"banner", "", "key", "", ""}) header.Add(line);
  body.Add("plain");
  const std::string protected_text = EncryptProtectedText(header, body);
  for (const char* file : {"new.ci", "left.ci", "mine.ci", "ro.ci"})
    dir_.Write(std::string("P/") + file + ".Veilbox", protected_text);
  dir_.Write("P/left.ci", "left by a cut-short run");
  platform::SetFileAttributes(Dir("P") + "/left.ci", platform::kAttrHidden);
  dir_.Write("P/mine.ci", "mine");
  dir_.Write("P/ro.ci", "read-only");
  platform::SetFileAttributes(Dir("P") + "/ro.ci", platform::kAttrReadOnly);
  std::vector<std::string> collected;
  for (const char* file : {"new.ci", "left.ci", "mine.ci"})
    collected.push_back(Entry("P", std::string(file) + ".Veilbox"));
  if (!(platform::GetFileAttributes(Dir("P") + "/left.ci") & platform::kAttrHidden))
    GTEST_SKIP() << "this file system keeps no hidden attribute";

  WrittenPlainFiles written;
  std::string err;
  EXPECT_FALSE(DecryptCollected(
      ui_, collected, written,
      [](const std::vector<PlainFileEntry>&, std::string* why) {
        *why = "disk full";
        return false;
      },
      &err));
  EXPECT_EQ(err, "disk full");
  EXPECT_FALSE(platform::FileExists(PlainFileName(collected[0])));
  EXPECT_EQ(testing::ReadFileBytes(Dir("P") + "/mine.ci"), "mine");

  std::vector<PlainFileEntry> recorded;
  collected.push_back(Entry("P", "ro.ci.Veilbox"));
  const auto record = [&](const std::vector<PlainFileEntry>& plan, std::string*) {
    recorded = plan;
    return true;
  };
  try {
    DecryptCollected(ui_, collected, written, record, &err);
    ADD_FAILURE() << "the read-only file was written over";
  } catch (const RunEnded& end) {
    EXPECT_EQ(end.code(), 251);
  }
  EXPECT_EQ(
      recorded,
      (std::vector<PlainFileEntry>{
          {PlainFileName(collected[0]), PlainFileKind::kNew},
          {PlainFileName(collected[1]), PlainFileKind::kLeftover},
          // in its own letter case, to come back under its own name
          {LeftStr(collected[2], static_cast<std::int32_t>(collected[2].size()) - 15) + "mine.ci",
           PlainFileKind::kAside}}));
  EXPECT_EQ(ui_.messages,
            std::vector<std::string>{"Unable to decrypt " + collected[3] + ": Cannot create file " +
                                     PlainFileName(collected[3])});
  // The clean-up ran: only what was there before is left, as it was.
  EXPECT_FALSE(platform::FileExists(PlainFileName(collected[0])));
  EXPECT_FALSE(platform::FileExists(PlainFileName(collected[1])));
  EXPECT_EQ(testing::ReadFileBytes(Dir("P") + "/mine.ci"), "mine");
  EXPECT_EQ(testing::ReadFileBytes(Dir("P") + "/ro.ci"), "read-only");
  EXPECT_TRUE(written.names().empty());
}

// A file that comes to stand at a plain file's name after the journal
// recorded the name as free is someone's: the run ends with 251, the
// journal forgets the name, and the file stays as it is.
TEST_F(PassTest, AFileThatAppearsAfterTheRecordIsNotTheRuns) {
  TextList header, body;
  for (const char* line : {"banner", "", "key", "", ""}) header.Add(line);
  body.Add("plain");
  dir_.Write("P/late.ci.Veilbox", EncryptProtectedText(header, body));
  const std::vector<std::string> collected = {Entry("P", "late.ci.Veilbox")};
  std::vector<std::vector<PlainFileEntry>> records;
  const auto record = [&](const std::vector<PlainFileEntry>& plan, std::string*) {
    records.push_back(plan);
    if (records.size() == 1) dir_.Write("P/late.ci", "someone was quicker");
    return true;
  };
  WrittenPlainFiles written;
  std::string err;
  EXPECT_THROW(DecryptCollected(ui_, collected, written, record, &err), RunEnded);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].size(), 1u);
  EXPECT_TRUE(records[1].empty());
  EXPECT_EQ(testing::ReadFileBytes(Dir("P") + "/late.ci"), "someone was quicker");
}

}  // namespace
}  // namespace veilbox
