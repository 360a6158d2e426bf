#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/run_journal.h"
#include "platform/child_process.h"
#include "platform/files.h"
#include "testing/protected_file_builder.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

using veilbox::testing::ScratchDir;

bool Dead(const platform::ProcessIdentity&) { return false; }
bool Alive(const platform::ProcessIdentity&) { return true; }

class RecoveryTest : public ::testing::Test {
 protected:
  // Full name in the seam's form of a file below the scratch directory.
  std::string Name(const std::string& relative) const { return scratch_.str() + "\\" + relative; }

  // A ProtectedFile (*.Veilbox) or its plain text, as a run writes it.
  std::string MakeFile(const std::string& relative, std::uint32_t attributes) {
    const bool is_protected = relative.ends_with(".Veilbox");
    scratch_.Write(relative, is_protected ? testing::ProtectedFileBytes({"plain text"})
                                          : std::string("plain text\r\n"));
    if (attributes) platform::SetAttributes(Name(relative), attributes);
    return Name(relative);
  }

  bool Exists(const std::string& relative) const {
    return platform::FileAttributes(Name(relative)) != platform::kInvalidAttributes;
  }

  // A journal left by a run with the given id.
  void LeaveJournal(std::uint32_t pid, const std::vector<PlainFileEntry>& plain,
                    const std::string& settings) {
    RunJournalRecord record;
    record.writer = {pid, 77};
    record.plain_files = plain;
    record.ok_message_suppressed = !settings.empty();
    record.settings_file = settings;
    std::string err;
    ASSERT_TRUE(WriteRunJournal(JournalPath(pid), record, &err)) << err;
  }

  std::string JournalPath(std::uint32_t pid) const {
    return journal_dir_ + "\\compile-run-" + std::to_string(pid) + ".journal";
  }

  RecoveryReport Recover(const IsProcessRunning& is_running) {
    return RecoverAbandonedRuns(journal_dir_, self_, restore_, is_running);
  }

  ScratchDir scratch_;
  std::string journal_dir_ = MakeDir();
  platform::ProcessIdentity self_{1, 1};
  std::vector<std::string> restored_;
  bool restore_works_ = true;
  RestoreOkMessage restore_ = [this](const std::string& file) {
    restored_.push_back(file);
    return restore_works_;
  };

 private:
  std::string MakeDir() {
    std::filesystem::create_directories(scratch_.path() / "journals");
    return scratch_.str() + "\\journals";
  }
};

// A ProtectedFile and its plain text.
const std::string kProtected = testing::ProtectedFileBytes({"plain"});
constexpr char kPlainText[] = "plain\r\n";

// The bytes a case names: "plain" is the plain text, "pla" its beginning.
std::string Bytes(const std::string& what) {
  if (what == "plain") return kPlainText;
  if (what == "pla") return "pla";
  return what;
}

std::string Text(const std::string& path) {
  std::string bytes;
  std::uint32_t error = 0;
  if (!platform::ReadWholeFile(path, platform::Share::kReadWrite, &bytes, &error)) return "(none)";
  return bytes;
}

// A process id comes back: a journal that an earlier process with the
// run's id left (here one that keeps someone's file set aside) is never
// written over by the new run's journal, even at the very name the new
// run draws first; the next recovery puts the file back.
TEST_F(RecoveryTest, ALeftoverJournalAtTheNameARunDrawsIsNeverOverwritten) {
  const std::string name = Name("A.CI"), aside = SetAsideName(name, 5);
  scratch_.Write("A.CI.~vb0000000000000005", "mine");
  RunJournalRecord earlier;
  earlier.writer = {self_.pid, 77};
  earlier.plain_files = {{name, PlainFileKind::kAside, aside}};
  platform::EntryStamp stamp;
  std::uint32_t error = 0;
  ASSERT_TRUE(platform::StampOf(aside, &stamp, &error)) << error;
  earlier.plain_files[0].aside_stamp = stamp;
  const std::string leftover = journal_dir_ + "\\" + RunFileName(self_.pid, 0xAB, ".journal");
  std::string err;
  ASSERT_TRUE(WriteRunJournal(leftover, earlier, &err)) << err;
  const std::string bytes = Text(leftover);

  std::vector<std::uint64_t> draws = {0xAB, 0xAB, 0xCD};
  RunJournal journal(journal_dir_, self_, [&] {
    const std::uint64_t next = draws.front();
    draws.erase(draws.begin());
    return next;
  });
  EXPECT_EQ(journal.path(), leftover);  // drawn before anything is written
  ASSERT_TRUE(journal.RecordPlainFiles({{Name("B.CI"), PlainFileKind::kNew}}, &err)) << err;
  ASSERT_TRUE(journal.RecordOkMessageSuppressed("Citect.ini", &err)) << err;
  EXPECT_EQ(journal.path(), journal_dir_ + "\\" + RunFileName(self_.pid, 0xCD, ".journal"));
  EXPECT_EQ(Text(leftover), bytes);
  EXPECT_NE(Text(journal.path()), bytes);
  EXPECT_FALSE(Exists("journals\\" + RunFileName(self_.pid, 0xAB, ".journal.tmp")));
  RecoveryReport own;
  journal.Settle(restore_, &own);
  EXPECT_EQ(Text(leftover), bytes);

  const RecoveryReport report = Recover(Dead);
  EXPECT_EQ(report.put_back, std::vector<std::string>{name});
  EXPECT_EQ(Text(name), "mine");
  EXPECT_FALSE(Exists("journals\\" + RunFileName(self_.pid, 0xAB, ".journal")));
}

// What stood at each name, what the killed run left there and beside it,
// and what recovery makes of it.
TEST_F(RecoveryTest, UndoesWhatTheRunMayHaveDoneAtEachName) {
  constexpr std::uint32_t kHidden = platform::kAttrHidden;
  struct Case {
    const char* plain;
    PlainFileKind kind;
    const char* at_name;       // nullptr: nothing
    std::uint32_t attributes;  // of what is at the name
    const char* aside;         // at the run's set-aside name; nullptr: nothing
    bool make_protected;
    const char* after;  // at the name afterwards; nullptr: nothing
  };
  // "plain" stands for the plain text of the ProtectedFile beside it.
  const Case cases[] = {
      {"A.CI", PlainFileKind::kNew, "plain", kHidden, nullptr, true, nullptr},
      {"B.CI", PlainFileKind::kNew, "plain", 0, nullptr, true, "plain"},  // not hidden: someone's
      {"C.CI", PlainFileKind::kNew, "plain", kHidden | platform::kAttrReadOnly, nullptr, true,
       nullptr},  // the compiler made it read-only
      {"D.CI", PlainFileKind::kNew, "plain", kHidden, nullptr, false, "plain"},  // no ProtectedFile
      {"E.CI", PlainFileKind::kNew, nullptr, 0, nullptr, true, nullptr},
      {"F.CI", PlainFileKind::kLeftover, "plain", kHidden, nullptr, true, nullptr},
      {"G.CI", PlainFileKind::kHiddenOnly, "mine", 0, nullptr, true, "mine"},
      {"H.CI", PlainFileKind::kHiddenOnly, "plain", kHidden, nullptr, true, nullptr},
      {"I.CI", PlainFileKind::kAside, "plain", kHidden, "mine", true, "mine"},
      {"J.CI", PlainFileKind::kAside, nullptr, 0, "mine", true, "mine"},  // killed in between
      {"K.CI", PlainFileKind::kAside, "mine", 0, nullptr, true, "mine"},  // not set aside yet
      // Put there by a person after the kill: a hidden file of their own,
      // a restored source, a read-only file.
      {"L.CI", PlainFileKind::kNew, "mine", kHidden, nullptr, true, "mine"},
      {"M.CI", PlainFileKind::kNew, "plain", platform::kAttrReadOnly, nullptr, true, "plain"},
      {"N.CI", PlainFileKind::kLeftover, "mine", kHidden | platform::kAttrReadOnly, nullptr, true,
       "mine"},
      // Cut short while the run wrote it: the beginning of the plain text.
      {"O.CI", PlainFileKind::kNew, "pla", kHidden, nullptr, true, nullptr},
      // Someone's at the name while something was set aside: neither moves,
      // and the journal keeps the entry set aside.
      {"Q.CI", PlainFileKind::kAside, "other", kHidden, "mine", true, "other"},
  };
  std::vector<PlainFileEntry> plain;
  const platform::ProcessIdentity writer{900, 77};
  for (const Case& c : cases) {
    if (c.at_name) {
      scratch_.Write(c.plain, Bytes(c.at_name));
      if (c.attributes) platform::SetAttributes(Name(c.plain), c.attributes);
    }
    if (c.aside) {
      std::uint32_t error = 0;
      platform::File file;
      ASSERT_TRUE(
          platform::File::CreateAlways(LegacyAsideName(Name(c.plain), writer), &file, &error));
      file.Append(c.aside, std::string(c.aside).size());
    }
    if (c.make_protected) scratch_.Write(std::string(c.plain) + ".Veilbox", kProtected);
    plain.push_back(
        {Name(c.plain), c.kind,
         c.kind == PlainFileKind::kAside ? LegacyAsideName(Name(c.plain), writer) : ""});
  }
  std::filesystem::create_directories(scratch_.path() / "DIR.CI");  // a directory is never deleted
  MakeFile("DIR.CI.Veilbox", 0);
  plain.push_back({Name("DIR.CI"), PlainFileKind::kNew});
  LeaveJournal(900, plain, "");

  const RecoveryReport report = Recover(Dead);
  for (const Case& c : cases) {
    EXPECT_EQ(Text(Name(c.plain)), c.after ? Bytes(c.after) : "(none)") << c.plain;
    if (c.make_protected) {
      EXPECT_TRUE(Exists(std::string(c.plain) + ".Veilbox")) << c.plain;
    }
  }
  for (const char* name : {"I.CI", "J.CI"})
    EXPECT_FALSE(platform::FileExists(LegacyAsideName(Name(name), writer))) << name;
  EXPECT_TRUE(platform::DirectoryExists(Name("DIR.CI")));
  EXPECT_EQ(report.put_back, (std::vector<std::string>{Name("I.CI"), Name("J.CI")}));
  EXPECT_TRUE(restored_.empty());
  EXPECT_EQ(Text(LegacyAsideName(Name("Q.CI"), writer)), "mine");
  RunJournalRecord rest;
  std::string err;
  ASSERT_TRUE(ParseRunJournal(Text(JournalPath(900)), &rest, &err)) << err;
  ASSERT_EQ(rest.plain_files.size(), 1u);
  EXPECT_EQ(rest.plain_files[0].name, Name("Q.CI"));
  EXPECT_EQ(rest.plain_files[0].kind, PlainFileKind::kAside);
  EXPECT_EQ(rest.plain_files[0].aside, LegacyAsideName(Name("Q.CI"), writer));
}

// A journal of this version knows the run's entries by their stamps: the
// plain file the run stamped goes even when it no longer looks like one;
// a stranger at the set-aside name, or a person's file at the plain
// file's name, stays, and so does what was set aside.
TEST_F(RecoveryTest, StampedEntriesAreKnownByTheirStamps) {
  const auto stamp = [&](const std::string& relative) {
    platform::EntryStamp s;
    std::uint32_t error = 0;
    EXPECT_TRUE(platform::StampOf(Name(relative), &s, &error)) << relative << " " << error;
    return s;
  };
  const auto aside_of = [&](const std::string& relative) {
    return SetAsideName(Name(relative), 0x1122334455667788ull);
  };
  const auto write_aside = [&](const std::string& relative, const std::string& bytes) {
    std::filesystem::path native = platform::NativePath(aside_of(relative));
    std::ofstream(native, std::ios::binary) << bytes;
  };
  for (const char* name : {"A.CI", "B.CI", "C.CI", "D.CI"})
    scratch_.Write(std::string(name) + ".Veilbox", kProtected);
  std::vector<PlainFileEntry> plain;
  // A: the run's plain file, changed by the compiler (not hidden, other
  // bytes); someone's entry set aside: both as recorded.
  write_aside("A.CI", "mine A");
  scratch_.Write("A.CI", "the compiler's own output");
  plain.push_back({Name("A.CI"), PlainFileKind::kAside, aside_of("A.CI"),
                   stamp("A.CI.~vb1122334455667788"), stamp("A.CI")});
  // B: set aside, then a stranger took its place at the set-aside name.
  write_aside("B.CI", "mine B");
  const platform::EntryStamp b_stamp = stamp("B.CI.~vb1122334455667788");
  std::filesystem::remove(platform::NativePath(aside_of("B.CI")));
  write_aside("B.CI", "a stranger's, longer");
  scratch_.Write("B.CI", kPlainText);
  platform::SetAttributes(Name("B.CI"), platform::kAttrHidden);
  plain.push_back({Name("B.CI"), PlainFileKind::kAside, aside_of("B.CI"), b_stamp, stamp("B.CI")});
  // C: the plain file was removed and a person put their own file there.
  scratch_.Write("C.CI", kPlainText);
  const platform::EntryStamp c_stamp = stamp("C.CI");
  std::filesystem::remove(scratch_.path() / "C.CI");
  scratch_.Write("C.CI.new", "my own C, restored");
  std::filesystem::rename(scratch_.path() / "C.CI.new", scratch_.path() / "C.CI");
  plain.push_back({Name("C.CI"), PlainFileKind::kNew, "", std::nullopt, c_stamp});
  // D: the same, with the plain text itself, hidden: the content proves
  // it the run's (it holds nothing of anyone's).
  scratch_.Write("D.CI", "x");
  const platform::EntryStamp d_stamp = stamp("D.CI");
  std::filesystem::remove(scratch_.path() / "D.CI");
  scratch_.Write("D.CI.new", kPlainText);
  std::filesystem::rename(scratch_.path() / "D.CI.new", scratch_.path() / "D.CI");
  platform::SetAttributes(Name("D.CI"), platform::kAttrHidden);
  plain.push_back({Name("D.CI"), PlainFileKind::kNew, "", std::nullopt, d_stamp});
  LeaveJournal(900, plain, "");

  const RecoveryReport report = Recover(Dead);
  EXPECT_EQ(Text(Name("A.CI")), "mine A");
  EXPECT_EQ(Text(aside_of("A.CI")), "(none)");
  EXPECT_EQ(Text(Name("B.CI")), "(none)");
  EXPECT_EQ(Text(aside_of("B.CI")), "a stranger's, longer");
  EXPECT_EQ(Text(Name("C.CI")), "my own C, restored");
  EXPECT_EQ(Text(Name("D.CI")), "(none)");
  EXPECT_EQ(report.put_back, std::vector<std::string>{Name("A.CI")});
  EXPECT_EQ(report.not_put_back, std::vector<std::string>{Name("B.CI")});
  EXPECT_EQ(report.problems.size(), 2u);  // B's stranger and C, each named
  EXPECT_FALSE(platform::FileExists(JournalPath(900)));
}

// The plan's preview of recovery says what recovery then does, and
// changes nothing itself.
TEST_F(RecoveryTest, PreviewTellsWhatRecoveryDoesAndDoesNothing) {
  const platform::ProcessIdentity writer{900, 77};
  MakeFile("A.CI.Veilbox", 0);
  MakeFile("A.CI", platform::kAttrHidden);
  MakeFile("B.CI.Veilbox", 0);
  scratch_.Write("B.CI", "my own B");
  const std::string aside = LegacyAsideName(Name("C.CI"), writer);
  MakeFile("C.CI.Veilbox", 0);
  {
    platform::File file;
    std::uint32_t error = 0;
    ASSERT_TRUE(platform::File::CreateAlways(aside, &file, &error));
  }
  LeaveJournal(900,
               {{Name("A.CI"), PlainFileKind::kNew},
                {Name("B.CI"), PlainFileKind::kNew},
                {Name("C.CI"), PlainFileKind::kAside, aside}},
               "citect.ini");
  const std::vector<std::string> preview = PreviewRecovery(journal_dir_, self_, Dead);
  EXPECT_EQ(
      preview,
      (std::vector<std::string>{
          "delete " + Name("A.CI"),
          "leave " + Name("B.CI") + " in place: it cannot be proved a plain file of the run",
          "put " + aside + " back as " + Name("C.CI"),
          "switch the completion message back on in citect.ini", "remove " + JournalPath(900)}));
  EXPECT_TRUE(Exists("A.CI"));
  EXPECT_TRUE(platform::FileExists(aside));
  EXPECT_TRUE(platform::FileExists(JournalPath(900)));
  EXPECT_EQ(PreviewRecovery(journal_dir_, self_, Alive),
            std::vector<std::string>{"leave " + JournalPath(900) + ": its run is still running"});
}

TEST_F(RecoveryTest, APlainFileHeldOpenStaysInTheJournalUntilItCanGo) {
  MakeFile("A.CI", platform::kAttrHidden);
  MakeFile("A.CI.Veilbox", 0);
  const platform::ProcessIdentity writer{900, 77};
  {
    platform::File aside;
    std::uint32_t error = 0;
    ASSERT_TRUE(
        platform::File::CreateAlways(LegacyAsideName(Name("A.CI"), writer), &aside, &error));
    aside.Append("mine", 4);
  }
  const PlainFileEntry entry{Name("A.CI"), PlainFileKind::kAside,
                             LegacyAsideName(Name("A.CI"), writer)};
  LeaveJournal(900, {entry}, "");
  {
    platform::File holder;
    std::uint32_t error = 0;
    ASSERT_TRUE(
        platform::File::OpenExisting(Name("A.CI"), false, platform::Share::kNone, &holder, &error));
    const RecoveryReport report = Recover(Dead);
    EXPECT_EQ(report.problems.size(), 1u);
    RunJournalRecord rest;
    std::string err;
    ASSERT_TRUE(ParseRunJournal(Text(JournalPath(900)), &rest, &err)) << err;
    EXPECT_EQ(rest.plain_files, std::vector<PlainFileEntry>{entry});
    EXPECT_TRUE(platform::FileExists(LegacyAsideName(Name("A.CI"), writer)));
  }
  const RecoveryReport report = Recover(Dead);
  EXPECT_EQ(report.deleted, std::vector<std::string>{Name("A.CI")});
  EXPECT_EQ(Text(Name("A.CI")), "mine");
  EXPECT_FALSE(platform::FileExists(JournalPath(900)));
}

TEST_F(RecoveryTest, RestoresTheCompletionMessageOnceItCan) {
  const std::string settings = MakeFile("citect.ini", 0);
  MakeFile("A.CI", platform::kAttrHidden);
  MakeFile("A.CI.Veilbox", 0);
  LeaveJournal(901, {{Name("A.CI")}}, settings);
  LeaveJournal(902, {}, Name("gone.ini"));  // its settings file is gone: nothing to create

  restore_works_ = false;
  RecoveryReport report = Recover(Dead);
  EXPECT_EQ(restored_, std::vector<std::string>{settings});
  EXPECT_FALSE(Exists("A.CI"));
  EXPECT_TRUE(platform::FileExists(JournalPath(901)));  // kept for the restore
  EXPECT_FALSE(platform::FileExists(JournalPath(902)));

  restore_works_ = true;
  report = Recover(Dead);
  EXPECT_EQ(report.restored, std::vector<std::string>{settings});
  EXPECT_EQ(report.journals_done, std::vector<std::string>{JournalPath(901)});
  EXPECT_FALSE(platform::FileExists(JournalPath(901)));
}

TEST_F(RecoveryTest, JournalsOfLiveRunsAndUnreadableJournalsAreNotFollowed) {
  MakeFile("A.CI", platform::kAttrHidden);
  MakeFile("A.CI.Veilbox", 0);
  LeaveJournal(903, {{Name("A.CI"), PlainFileKind::kHiddenOnly}}, MakeFile("citect.ini", 0));
  // A journal cut short names the same file.
  std::string bytes;
  std::uint32_t error = 0;
  ASSERT_TRUE(
      platform::ReadWholeFile(JournalPath(903), platform::Share::kReadWrite, &bytes, &error));
  scratch_.Write("journals/compile-run-904.journal", bytes.substr(0, bytes.size() - 3));

  RecoveryReport report = Recover(Alive);
  EXPECT_TRUE(report.deleted.empty());
  EXPECT_TRUE(restored_.empty());
  EXPECT_EQ(report.left_to_live, std::vector<std::string>{JournalPath(903)});
  EXPECT_EQ(report.quarantined, std::vector<std::string>{JournalPath(904)});
  EXPECT_TRUE(Exists("A.CI"));
  EXPECT_TRUE(platform::FileExists(JournalPath(903)));
  EXPECT_TRUE(platform::FileExists(JournalPath(904) + ".bad"));
  // Another one under that name goes beside it, never over it.
  const std::string first_bad = Text(JournalPath(904) + ".bad");
  scratch_.Write("journals/compile-run-904.journal", "cut");
  report = Recover(Alive);
  EXPECT_EQ(report.quarantined, std::vector<std::string>{JournalPath(904)});
  EXPECT_EQ(Text(JournalPath(904) + ".bad"), first_bad);
  EXPECT_EQ(platform::FindFiles(JournalPath(904) + "*.bad").size(), 2u);

  // A journal that names our own id is an earlier process's: followed even
  // though that id runs.
  self_.pid = 903;
  report = Recover(Alive);
  EXPECT_EQ(report.deleted, std::vector<std::string>{Name("A.CI")});
  EXPECT_FALSE(platform::FileExists(JournalPath(903)));
}

TEST_F(RecoveryTest, RunJournalRecordsWhatStandsAtEachNameAndIsRemovedAtTheEnd) {
  RunJournal journal(journal_dir_, {905, 5});
  const platform::EntryStamp stamp{{7, 8}, 9, 10, 11};
  const std::vector<PlainFileEntry> plain = {
      {Name("NEW.CI"), PlainFileKind::kNew, "", std::nullopt, stamp},
      {Name("OLD.CI"), PlainFileKind::kLeftover},
      {Name("Seen.ci"), PlainFileKind::kAside, SetAsideName(Name("Seen.ci"), 0xF00D), stamp}};
  std::string err;
  ASSERT_TRUE(journal.RecordPlainFiles(plain, &err)) << err;
  ASSERT_TRUE(journal.RecordOkMessageSuppressed("Citect.ini", &err)) << err;
  RunJournalRecord record;
  ASSERT_TRUE(ParseRunJournal(Text(journal.path()), &record, &err)) << err;
  EXPECT_EQ(record.writer.pid, 905u);
  EXPECT_EQ(record.plain_files, plain);
  EXPECT_TRUE(record.ok_message_suppressed);
  EXPECT_EQ(record.settings_file, "Citect.ini");
  EXPECT_FALSE(platform::FileExists(journal.path() + ".tmp"));
  ASSERT_TRUE(journal.Remove(&err)) << err;
  EXPECT_FALSE(platform::FileExists(journal.path()));
  EXPECT_TRUE(journal.Remove(&err));  // already gone is fine
}

// The run's own clean-up names the plain files it has just removed: its
// journal's settling looks only at the others. Someone's file that came to
// stand at a removed name since is not looked at, nor reported.
TEST_F(RecoveryTest, TheRunsSettlingLooksOnlyAtWhatItsCleanUpLeft) {
  MakeFile("A.CI.Veilbox", 0);
  MakeFile("B.CI.Veilbox", 0);
  RunJournal journal(journal_dir_, {907, 5});
  std::string err;
  ASSERT_TRUE(journal.RecordPlainFiles(
      {{Name("A.CI"), PlainFileKind::kNew}, {Name("B.CI"), PlainFileKind::kNew}}, &err))
      << err;
  scratch_.Write("A.CI", "someone's");
  MakeFile("B.CI", platform::kAttrHidden);  // the clean-up did not get to it
  RecoveryReport report;
  journal.Settle(restore_, &report, {Name("A.CI")});
  EXPECT_EQ(report.deleted, std::vector<std::string>{Name("B.CI")});
  EXPECT_TRUE(report.problems.empty()) << report.problems.front();
  EXPECT_EQ(Text(Name("A.CI")), "someone's");
  EXPECT_FALSE(platform::FileExists(journal.path()));
}

TEST_F(RecoveryTest, AJournalThatCannotBeWrittenSaysSo) {
  scratch_.Write("blocker", "x");
  RunJournal journal(Name("blocker"), {906, 5});
  std::string err;
  EXPECT_FALSE(journal.RecordPlainFiles({{Name("A.CI")}}, &err));
  EXPECT_FALSE(err.empty());
}

// A run killed outright in the middle of its compile; the next run cleans
// up after it with the real test of whether its writer still runs.
TEST_F(RecoveryTest, NextRunCleansUpAfterARunKilledOutright) {
  const std::string settings = MakeFile("citect.ini", 0);
  for (const char* name : {"A.CI", "B.CI"}) MakeFile(std::string(name) + ".Veilbox", 0);
  platform::ChildProcess run;
  std::uint32_t error = 0, code = 0;
  const auto ready = scratch_.path() / "ready";
  ASSERT_TRUE(run.Start({veilbox::testing::HelperPath("abandoned-run"), journal_dir_,
                         ready.string(), settings, Name("A.CI"), Name("B.CI")},
                        &error));
  for (int i = 0; i < 2000 && !std::filesystem::exists(ready); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_TRUE(std::filesystem::exists(ready));
  ASSERT_NE(platform::FileAttributes(Name("A.CI")) & platform::kAttrHidden, 0u);

  self_ = platform::CurrentProcess();
  RecoveryReport report = Recover(platform::ProcessIsRunning);  // still running: left alone
  EXPECT_EQ(report.left_to_live.size(), 1u);
  EXPECT_TRUE(Exists("A.CI"));

  run.Kill();
  ASSERT_TRUE(run.Wait(20000, &code));
  report = Recover(platform::ProcessIsRunning);
  EXPECT_EQ(report.deleted, (std::vector<std::string>{Name("A.CI"), Name("B.CI")}));
  EXPECT_EQ(restored_, std::vector<std::string>{settings});
  EXPECT_EQ(report.journals_done.size(), 1u);
  EXPECT_TRUE(report.problems.empty());
  EXPECT_TRUE(Exists("A.CI.Veilbox"));
  EXPECT_TRUE(Exists("B.CI.Veilbox"));
}

}  // namespace
}  // namespace veilbox
