#include "app/plain_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/files.h"
#include "platform/process_identity.h"
#include "protect/protected_file.h"
#include "protect/protected_file_name.h"
#include "sysutil/errors.h"
#include "sysutil/text_utils.h"
#include "testing/protected_file_builder.h"
#include "testing/recording_ui.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

using veilbox::testing::RecordingUi;

// ProtectedFiles in project directories below a scratch directory.
class DecryptionLoopTest : public ::testing::Test {
 protected:
  std::string Dir(const std::string& name) const { return (dir_.path() / name).string(); }
  std::string Entry(const std::string& project, const std::string& file) const {
    return UpperAscii(AddBackslash(Dir(project)) + file);
  }

  veilbox::testing::ScratchDir dir_;
  RecordingUi ui_;
};

// The decryption loop records every plain file's name with what stands
// there before it writes the first one, and writes nothing when that
// record cannot be made.
TEST_F(DecryptionLoopTest, DecryptionRecordsWhatStandsAtEachNameFirst) {
  const std::string protected_text = testing::ProtectedFileBytes({"plain"});
  for (const char* file : {"new.ci", "left.ci", "hid.ci", "mine.ci", "ro.ci"})
    dir_.Write(std::string("P/") + file + ".Veilbox", protected_text);
  // The beginning of the plain text, hidden: a run was cut short writing it.
  dir_.Write("P/left.ci", "pla");
  platform::SetAttributes(Dir("P") + "/left.ci", platform::kAttrHidden);
  // A person's own hidden file is not a leftover.
  dir_.Write("P/hid.ci", "my hidden notes");
  platform::SetAttributes(Dir("P") + "/hid.ci", platform::kAttrHidden);
  dir_.Write("P/mine.ci", "mine");
  dir_.Write("P/ro.ci", "read-only");
  platform::SetAttributes(Dir("P") + "/ro.ci", platform::kAttrReadOnly);
  std::vector<std::string> collected;
  for (const char* file : {"new.ci", "left.ci", "mine.ci", "hid.ci"})
    collected.push_back(Entry("P", std::string(file) + ".Veilbox"));
  if (!(platform::FileAttributes(Dir("P") + "/left.ci") & platform::kAttrHidden))
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
  const auto kinds = [](const std::vector<PlainFileEntry>& entries) {
    std::vector<std::pair<std::string, PlainFileKind>> named;
    for (const PlainFileEntry& entry : entries) named.emplace_back(entry.name, entry.kind);
    return named;
  };
  EXPECT_EQ(
      kinds(recorded),
      (std::vector<std::pair<std::string, PlainFileKind>>{
          {PlainFileName(collected[0]), PlainFileKind::kNew},
          {PlainFileName(collected[1]), PlainFileKind::kLeftover},
          // in its own letter case, to come back under its own name
          {LeftStr(collected[2], static_cast<std::int32_t>(collected[2].size()) - 15) + "mine.ci",
           PlainFileKind::kAside},
          {LeftStr(collected[3], static_cast<std::int32_t>(collected[3].size()) - 14) + "hid.ci",
           PlainFileKind::kAside}}));
  // Someone's entries: where each goes and what it is, before it moves.
  for (std::size_t i = 2; i < 4; ++i) {
    EXPECT_EQ(recorded[i].aside.rfind(recorded[i].name + ".~vb", 0), 0u) << recorded[i].aside;
    EXPECT_EQ(recorded[i].aside.size(), recorded[i].name.size() + 20);
    EXPECT_TRUE(recorded[i].aside_stamp.has_value());
  }
  EXPECT_EQ(ui_.messages,
            std::vector<std::string>{"Unable to decrypt " + collected[4] + ": Cannot create file " +
                                     PlainFileName(collected[4])});
  // The clean-up ran: only what was there before is left, as it was.
  EXPECT_FALSE(platform::FileExists(PlainFileName(collected[0])));
  EXPECT_FALSE(platform::FileExists(PlainFileName(collected[1])));
  EXPECT_EQ(testing::ReadFileBytes(Dir("P") + "/mine.ci"), "mine");
  EXPECT_EQ(testing::ReadFileBytes(Dir("P") + "/ro.ci"), "read-only");
  EXPECT_EQ(testing::ReadFileBytes(Dir("P") + "/hid.ci"), "my hidden notes");
  EXPECT_NE(platform::FileAttributes(Dir("P") + "/hid.ci") & platform::kAttrHidden, 0u);
  EXPECT_TRUE(written.names().empty());
}

// A file that comes to stand at a plain file's name after the journal
// recorded the name as free is someone's: the run ends with 251, the
// journal forgets the name, and the file stays as it is.
TEST_F(DecryptionLoopTest, AFileThatAppearsAfterTheRecordIsNotTheRuns) {
  const struct {
    const char* what;
    const char* bytes;
    bool hidden;
    bool ends;  // the run ends: the name is someone's
  } cases[] = {
      {"someone's file", "someone was quicker", false, true},
      // A hidden beginning of the plain text with one name: a run's.
      {"a leftover of a run", "pla", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    dir_.Write("P/late.ci.Veilbox", testing::ProtectedFileBytes({"plain"}));
    const std::vector<std::string> collected = {Entry("P", "late.ci.Veilbox")};
    std::vector<std::vector<PlainFileEntry>> records;
    const auto record = [&](const std::vector<PlainFileEntry>& plan, std::string*) {
      records.push_back(plan);
      if (records.size() == 1) {
        dir_.Write("P/late.ci", c.bytes);
        if (c.hidden) platform::SetAttributes(Dir("P") + "/late.ci", platform::kAttrHidden);
      }
      return true;
    };
    WrittenPlainFiles written;
    std::string err;
    if (c.ends) {
      EXPECT_THROW(DecryptCollected(ui_, collected, written, record, &err), RunEnded);
      ASSERT_EQ(records.size(), 2u);
      EXPECT_EQ(records[0].size(), 1u);
      EXPECT_TRUE(records[1].empty());
      EXPECT_EQ(testing::ReadFileBytes(Dir("P") + "/late.ci"), c.bytes);
    } else {
      if (c.hidden &&
          (platform::FileAttributes(Dir("P") + "/late.ci.Veilbox") & platform::kAttrHidden) == 0) {
        platform::SetAttributes(Dir("P") + "/late.ci.Veilbox", platform::kAttrHidden);
        if ((platform::FileAttributes(Dir("P") + "/late.ci.Veilbox") & platform::kAttrHidden) == 0)
          GTEST_SKIP() << "this file system keeps no hidden attribute";
        platform::SetAttributes(Dir("P") + "/late.ci.Veilbox", platform::kAttrNormal);
      }
      EXPECT_TRUE(DecryptCollected(ui_, collected, written, record, &err)) << err;
      EXPECT_EQ(written.names().size(), 1u);
      // Created under the name the pass builds, once the leftover is gone:
      // one entry of the name in the directory, whatever the file system
      // makes of letter case.
      int entries_of_the_name = 0;
      for (const auto& e : std::filesystem::directory_iterator(Dir("P")))
        if (UpperAscii(e.path().filename().string()) == "LATE.CI") ++entries_of_the_name;
      EXPECT_EQ(entries_of_the_name, 1);
      EXPECT_EQ(testing::ReadFileBytes(Dir("P") + "/LATE.CI").rfind("plain", 0), 0u);
      ASSERT_EQ(records.size(), 2u);  // the plan, then the plain file's stamp
      ASSERT_EQ(records[1].size(), 1u);
      EXPECT_TRUE(records[1][0].plain_stamp.has_value());
    }
    written.DeleteAll();
    std::filesystem::remove_all(dir_.path() / "P");
  }
}

// Someone's entry at the set-aside name that the journal holds: the move
// never replaces it; another name is drawn and recorded before the move,
// and afterwards both are as they were.
TEST_F(DecryptionLoopTest, ATakenSetAsideNameMeansAnotherName) {
  dir_.Write("P/TAKEN.CI.Veilbox", testing::ProtectedFileBytes({"plain"}));
  dir_.Write("P/TAKEN.CI", "the person's");
  std::vector<std::vector<PlainFileEntry>> records;
  std::string stranger;
  const auto record = [&](const std::vector<PlainFileEntry>& plan, std::string*) {
    records.push_back(plan);
    if (records.size() == 1) {
      stranger = plan.at(0).aside;
      platform::File file;
      std::uint32_t error = 0;
      EXPECT_TRUE(platform::File::CreateAlways(stranger, &file, &error)) << error;
      EXPECT_TRUE(file.Append("a stranger's", 12));
    }
    return true;
  };
  {
    WrittenPlainFiles written;
    std::string err;
    ASSERT_TRUE(DecryptCollected(ui_, {Entry("P", "TAKEN.CI.Veilbox")}, written, record, &err))
        << err;
    EXPECT_EQ(testing::ReadFileBytes(Dir("P") + "/TAKEN.CI"), "plain\r\n");
  }
  ASSERT_GE(records.size(), 2u);
  ASSERT_EQ(records[1].size(), 1u);
  EXPECT_NE(records[1][0].aside, stranger);
  EXPECT_EQ(records[1][0].aside_stamp, records[0][0].aside_stamp);
  EXPECT_FALSE(platform::FileExists(records[1][0].aside));
  EXPECT_EQ(testing::ReadFileBytes(Dir("P") + "/TAKEN.CI"), "the person's");
  std::string stranger_bytes;
  std::uint32_t error = 0;
  ASSERT_TRUE(
      platform::ReadWholeFile(stranger, platform::Share::kReadWrite, &stranger_bytes, &error));
  EXPECT_EQ(stranger_bytes, "a stranger's");
}

// An entry that replaced someone's entry after the plan stamped it is not
// moved: the journal forgets the name and the run ends with 251.
TEST_F(DecryptionLoopTest, AnEntryReplacedAfterThePlanIsNotSetAside) {
  dir_.Write("P/SWAP.CI.Veilbox", testing::ProtectedFileBytes({"plain"}));
  dir_.Write("P/SWAP.CI", "the person's");
  std::vector<std::vector<PlainFileEntry>> records;
  const auto record = [&](const std::vector<PlainFileEntry>& plan, std::string*) {
    records.push_back(plan);
    if (records.size() == 1) {
      dir_.Write("P/SWAP.CI.new", "another, longer entry");
      std::filesystem::rename(dir_.path() / "P/SWAP.CI.new", dir_.path() / "P/SWAP.CI");
    }
    return true;
  };
  WrittenPlainFiles written;
  std::string err;
  EXPECT_THROW(DecryptCollected(ui_, {Entry("P", "SWAP.CI.Veilbox")}, written, record, &err),
               RunEnded);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(records[1].empty());
  EXPECT_EQ(testing::ReadFileBytes(Dir("P") + "/SWAP.CI"), "another, longer entry");
}

// The clean-up removes every plain file in the order written and puts
// back each entry set aside from its own name: the set-aside entries
// among the others are matched to their names, and one whose kept entry
// was replaced is left beside its name.
TEST_F(DecryptionLoopTest, TheCleanUpPutsBackEachSetAsideEntryAtItsOwnName) {
  const auto plain = [&](const std::string& file, const std::string& bytes) {
    dir_.Write(file, bytes);
    platform::SetAttributes(Dir(file), platform::kAttrHidden);
    return Dir(file);
  };
  const auto set_aside = [&](const std::string& file, const std::string& owners) {
    PlainFileEntry entry{Dir(file), PlainFileKind::kAside, Dir(file) + ".~vb0123456789ABCDEF"};
    dir_.Write(file + ".~vb0123456789ABCDEF", owners);
    platform::EntryStamp stamp;
    std::uint32_t error = 0;
    EXPECT_TRUE(platform::StampOf(entry.aside, &stamp, &error)) << error;
    entry.aside_stamp = stamp;
    plain(file, "plain text");
    return entry;
  };
  WrittenPlainFiles written;
  written.Add({plain("x.ci", "x"), PlainFileKind::kNew});
  written.Add(set_aside("y.ci", "y's own"));
  written.Add({plain("z.ci", "z"), PlainFileKind::kLeftover});
  const PlainFileEntry replaced = set_aside("w.ci", "w's own");
  written.Add(replaced);
  dir_.Write("w.ci.~vb0123456789ABCDEF", "another, longer entry");
  EXPECT_EQ(written.names(),
            (std::vector<std::string>{Dir("x.ci"), Dir("y.ci"), Dir("z.ci"), Dir("w.ci")}));

  const CleanUpLeft left = written.DeleteAll();
  EXPECT_TRUE(left.not_removed.empty());
  EXPECT_TRUE(left.not_put_back.empty());
  EXPECT_EQ(left.left_beside, std::vector<std::string>{Dir("w.ci")});
  EXPECT_FALSE(platform::FileExists(Dir("x.ci")));
  EXPECT_FALSE(platform::FileExists(Dir("z.ci")));
  EXPECT_EQ(testing::ReadFileBytes(Dir("y.ci")), "y's own");
  EXPECT_FALSE(platform::FileExists(Dir("y.ci.~vb0123456789ABCDEF")));
  EXPECT_FALSE(platform::FileExists(Dir("w.ci")));
  EXPECT_EQ(testing::ReadFileBytes(Dir("w.ci.~vb0123456789ABCDEF")), "another, longer entry");
  EXPECT_TRUE(written.names().empty());
}

// The decryption loop on one worker and on several: the same plain files,
// the same first failure in the collected order, and nothing left behind.
TEST_F(DecryptionLoopTest, TheSameOutcomeWhateverTheWorkers) {
  std::vector<std::string> collected;
  for (int i = 0; i < 24; ++i) {
    std::string name = "F";  // appended, not "F" + ...: GCC 12 warns wrongly on that
    name.append(std::to_string(i)).append(".CI.VEILBOX");
    dir_.Write(name, testing::ProtectedFileBytes(
                         {std::string("line of file ").append(std::to_string(i))}));
    collected.push_back(UpperAscii(AddBackslash(dir_.str()) + name));
  }
  collected.push_back(collected[3]);  // a repeat is decrypted once
  const auto plain_files = [&] {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      const std::string name = entry.path().filename().string();
      if (name.size() < 8 || name.substr(name.size() - 8) != ".VEILBOX") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  const auto record = [](const std::vector<PlainFileEntry>&, std::string*) { return true; };
  std::string err;

  for (unsigned workers : {1u, 2u, 8u}) {
    WrittenPlainFiles written;
    EXPECT_TRUE(DecryptCollected(ui_, collected, written, record, &err, workers));
    EXPECT_EQ(written.names().size(), 24u) << workers;
    EXPECT_EQ(plain_files().size(), 24u) << workers;
  }
  EXPECT_TRUE(plain_files().empty());

  const std::string bad = testing::ProtectedFileBytes({}) + "not a cipher line\r\n";
  dir_.Write("F11.CI.VEILBOX", bad);
  dir_.Write("F22.CI.VEILBOX", bad);
  for (int round = 0; round < 2; ++round) {
    const std::string failing = collected[round == 0 ? 11 : 22];
    for (unsigned workers : {1u, 2u, 8u}) {
      ui_.messages.clear();
      WrittenPlainFiles written;
      try {
        DecryptCollected(ui_, collected, written, record, &err, workers);
        ADD_FAILURE() << "the run went on";
      } catch (const RunEnded& end) {
        EXPECT_EQ(end.code(), 251);
      }
      EXPECT_EQ(ui_.messages, std::vector<std::string>{"Unable to decrypt " + failing +
                                                       ": '$no' is not a valid integer value"})
          << workers;
      EXPECT_TRUE(plain_files().empty()) << workers;
    }
    dir_.Write("F11.CI.VEILBOX", testing::ProtectedFileBytes({}));
  }
}

// The clean-up on one worker and on several: every plain file removed,
// every set-aside entry back or left beside, and what is left told in the
// order written.
TEST_F(DecryptionLoopTest, CleanUpLeavesTheSameWhateverTheWorkers) {
  namespace fs = std::filesystem;
  for (unsigned workers : {1u, 2u, 8u}) {
    SCOPED_TRACE(workers);
    std::vector<PlainFileEntry> entries;
    std::vector<std::string> removed, back, not_removed, left_beside, not_put_back, settled;
    for (int i = 0; i < 15; ++i) {
      std::string file = "F";  // appended, not "F" + ...: GCC 12 warns wrongly on that
      file.append(std::to_string(i)).append(".CI");
      const std::string name = AddBackslash(dir_.str()) + file;
      PlainFileEntry entry{name, PlainFileKind::kNew};
      switch (i % 5) {
        case 0:  // the run's plain file
          dir_.Write(file, "plain");
          removed.push_back(file);
          settled.push_back(name);
          break;
        case 1:  // a directory came to stand at the name
          fs::create_directory(dir_.path() / file);
          not_removed.push_back(name);
          break;
        case 2: {  // someone's entry set aside, the plain file in its place
          entry.kind = PlainFileKind::kAside;
          entry.aside = name + ".~vbA";
          dir_.Write(file + ".~vbA", "theirs");
          platform::EntryStamp stamp;
          std::uint32_t error = 0;
          ASSERT_TRUE(platform::StampOf(entry.aside, &stamp, &error)) << error;
          entry.aside_stamp = stamp;
          dir_.Write(file, "plain");
          back.push_back(file);
          settled.push_back(name);
          break;
        }
        case 3:  // set aside, then replaced under its set-aside name
          entry.kind = PlainFileKind::kAside;
          entry.aside = name + ".~vbB";
          dir_.Write(file + ".~vbB", "another entry");
          entry.aside_stamp = platform::EntryStamp{};
          dir_.Write(file, "plain");
          left_beside.push_back(name);
          break;
        case 4:  // set aside, and a directory came to stand at the name
          entry.kind = PlainFileKind::kAside;
          entry.aside = name + ".~vbC";
          dir_.Write(file + ".~vbC", "theirs");
          fs::create_directory(dir_.path() / file);
          not_removed.push_back(name);
          not_put_back.push_back("\"" + name + "\" (set aside as \"" + entry.aside + "\")");
          break;
      }
      entries.push_back(entry);
    }
    WrittenPlainFiles written;
    for (const PlainFileEntry& entry : entries) written.Add(entry);
    const CleanUpLeft left = written.DeleteAll(workers);

    EXPECT_EQ(left.not_removed, not_removed);
    EXPECT_EQ(left.left_beside, left_beside);
    EXPECT_EQ(left.not_put_back, not_put_back);
    std::sort(settled.begin(), settled.end());
    EXPECT_EQ(left.settled, settled);
    for (const std::string& file : removed) EXPECT_FALSE(fs::exists(dir_.path() / file)) << file;
    for (const std::string& file : back)
      EXPECT_EQ(testing::ReadFileBytes(dir_.path() / file), "theirs") << file;
    EXPECT_TRUE(written.names().empty());
    fs::remove_all(dir_.path());
    fs::create_directory(dir_.path());
  }
}

}  // namespace
}  // namespace veilbox
