#include "app/run_safety.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/files.h"
#include "platform/user_data_dir.h"
#include "testing/protected_file_builder.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

class RunSafetyTest : public ::testing::Test {
 protected:
  static std::vector<std::string> Directories(const std::vector<std::string>& plain_files) {
    std::vector<std::string> dirs;
    std::string err;
    EXPECT_TRUE(PlainFileDirectories(plain_files, &dirs, &err)) << err;
    return dirs;
  }

  std::string Name(const std::string& relative) const { return scratch_.str() + "\\" + relative; }

  // A plain file as the decryption writes it, beside its ProtectedFile.
  std::string WritePlain(const std::string& relative) {
    scratch_.Write(relative + ".Veilbox", testing::ProtectedFileBytes({"plain"}));
    scratch_.Write(relative, "plain\r\n");
    platform::SetAttributes(Name(relative), platform::kAttrHidden);
    return Name(relative);
  }

  bool Exists(const std::string& name) const {
    return platform::FileAttributes(name) != platform::kInvalidAttributes;
  }

  std::vector<std::string> JournalsLeft() {
    std::string dir, err;
    EXPECT_TRUE(platform::UserDataDir(&dir, &err)) << err;
    return platform::FindFiles(dir + "\\*.journal");
  }

  veilbox::testing::ScratchDir scratch_;
  veilbox::testing::PrefixOverride prefix_{scratch_.str()};
  std::vector<std::string> restored_;
  RestoreOkMessage restore_ = [this](const std::string& file) {
    restored_.push_back(file);
    return true;
  };
};

TEST_F(RunSafetyTest, NormalEndLeavesNoJournal) {
  const std::string ini = Name("citect.ini");
  scratch_.Write("citect.ini", "[CTEDIT]\r\n");
  {
    RunSafety safety(restore_);
    safety.Begin();
    EXPECT_NE(safety.lock_result(), platform::LockResult::kUnavailable);
    const std::string plain = Name("A.CI");
    std::string err;
    ASSERT_TRUE(safety.BeforePlainFiles({{plain}}, &err)) << err;
    WritePlain("A.CI");
    safety.BeforeOkMessageOff(ini);
    EXPECT_EQ(JournalsLeft().size(), 1u);
    std::uint32_t error = 0;
    ASSERT_TRUE(platform::RemoveFile(plain, &error));  // the run's own clean-up
    safety.Settle();
    EXPECT_TRUE(JournalsLeft().empty());
  }
  EXPECT_EQ(restored_, std::vector<std::string>{ini});
}

TEST_F(RunSafetyTest, UnwindingRunGetsASecondCleanup) {
  std::string plain;
  try {
    RunSafety safety(restore_);
    safety.Begin();
    std::string err;
    ASSERT_TRUE(safety.BeforePlainFiles({{Name("A.CI")}}, &err)) << err;
    plain = WritePlain("A.CI");
    platform::RequestInterrupt(platform::kInterruptCloseRequest);
    safety.CheckInterrupt();
    FAIL() << "no interrupt";
  } catch (const RunInterrupted& end) {
    EXPECT_EQ(end.interrupt(), platform::kInterruptCloseRequest);
  }
  EXPECT_FALSE(Exists(plain));
  EXPECT_TRUE(Exists(plain + ".Veilbox"));
  EXPECT_TRUE(JournalsLeft().empty());
  EXPECT_TRUE(restored_.empty());
}

TEST_F(RunSafetyTest, BeginCleansUpAfterAKilledRun) {
  const std::string plain = WritePlain("LEFT.CI");
  std::string dir, err;
  ASSERT_TRUE(platform::UserDataDir(&dir, &err)) << err;
  RunJournalRecord killed;
  killed.writer = {0x7FFFFFF0u, 1};  // no such process
  killed.plain_files = {{plain}};
  ASSERT_TRUE(WriteRunJournal(dir + "\\compile-run-2147483632.journal", killed, &err)) << err;

  RunSafety safety(restore_);
  safety.Begin();
  EXPECT_EQ(safety.recovery().deleted, std::vector<std::string>{plain});
  EXPECT_FALSE(Exists(plain));
  EXPECT_TRUE(JournalsLeft().empty());
}

// One project directory reached under several spellings is locked once:
// the run never waits for a lock it holds itself.
TEST_F(RunSafetyTest, OneDirectoryUnderManySpellingsIsLockedOnce) {
  scratch_.Write("P/x/keep", "");
  const std::string p = Name("P");
  const std::vector<std::string> plain_files = {p + "\\A.CI", p + "\\.\\B.CI", p + "\\x\\..\\C.CI",
                                                p + "\\\\D.CI", p + "/E.CI"};
  EXPECT_EQ(Directories(plain_files).size(), 1u);
  RunSafety safety(restore_);
  safety.Begin();
  safety.LockPlainFileDirectories(plain_files);  // returns: no wait on itself
  EXPECT_EQ(safety.locked_directories().size(), 1u);
  // Two directories stay two.
  scratch_.Write("Q/keep", "");
  EXPECT_EQ(Directories({p + "\\A.CI", Name("Q") + "\\A.CI"}).size(), 2u);
}

// A directory that is there but whose identity cannot be read is never
// known by its spelling instead: the run's locks and recovery's are not
// taken (the run ends; recovery keeps the journal for a later run). A
// missing directory stays under its spelling: there is nothing to lock.
TEST_F(RunSafetyTest, ADirectoryThatCannotBeToldIsNeverTakenForItsSpelling) {
  scratch_.Write("P/keep", "");
  const std::string p = Name("P");
  const std::string plain = WritePlain("P/A.CI");
  // What reading P's identity fails with.
  for (const std::uint32_t failure : {platform::kErrorAccessDenied, platform::kErrorSharingViolation,
                                      platform::kErrorTooManyOpenFiles}) {
    SCOPED_TRACE(failure);
    const IdentityReader failing = [&](const std::string& path, platform::EntryIdentity* identity,
                                       std::uint32_t* error) {
      if (path.rfind(p, 0) == 0) {
        *error = failure;
        return false;
      }
      return platform::IdentityOf(path, identity, error);
    };
    std::vector<std::string> dirs;
    std::string err;
    EXPECT_FALSE(PlainFileDirectories({plain, Name("Q") + "\\B.CI"}, &dirs, &err, failing));
    EXPECT_NE(err.find("cannot lock the project directory " + p), std::string::npos) << err;
    EXPECT_TRUE(dirs.empty());

    // Recovery of a killed run's journal naming a plain file there.
    std::string journal_dir;
    ASSERT_TRUE(platform::UserDataDir(&journal_dir, &err)) << err;
    RunJournalRecord killed;
    killed.writer = {0x7FFFFFF0u, 1};  // no such process
    killed.plain_files = {{plain}};
    const std::string journal = journal_dir + "\\compile-run-2147483632.journal";
    ASSERT_TRUE(WriteRunJournal(journal, killed, &err)) << err;
    const RecoveryReport report = RecoverAbandonedRuns(
        journal_dir, platform::CurrentProcess(), restore_,
        [](const platform::ProcessIdentity&) { return false; },
        [&](const std::vector<std::string>& names, const std::function<void()>& settle,
            std::string* why) { return SettleUnderDirLocks(names, settle, why, failing); });
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_NE(report.problems[0].find(p), std::string::npos) << report.problems[0];
    EXPECT_TRUE(Exists(plain));
    EXPECT_TRUE(Exists(journal));
    EXPECT_EQ(platform::FindFiles(p + "\\*.lock"), std::vector<std::string>{});
  }
  // Missing, a directory is known by its spelling.
  std::vector<std::string> dirs;
  std::string err;
  EXPECT_TRUE(PlainFileDirectories({Name("M") + "\\A.CI", plain}, &dirs, &err)) << err;
  EXPECT_EQ(dirs.size(), 2u);
}

// Another installation compiles in a project directory while a run
// recovers a killed run's journal that names the same plain files: the
// recovery waits for that directory's lock, and touches nothing before.
TEST_F(RunSafetyTest, RecoveryWaitsForTheDirectoryLocks) {
  const std::string plain = WritePlain("P/LIVE.CI");
  std::string dir, err;
  ASSERT_TRUE(platform::UserDataDir(&dir, &err)) << err;
  RunJournalRecord killed;
  killed.writer = {0x7FFFFFF0u, 1};  // no such process
  killed.plain_files = {{plain}};
  ASSERT_TRUE(WriteRunJournal(dir + "\\compile-run-2147483632.journal", killed, &err)) << err;

  platform::DirLock other;  // the other installation's run
  ASSERT_NE(other.Acquire(Name("P"), 0, &err), platform::LockResult::kUnavailable) << err;
  std::atomic<bool> begun{false};
  std::thread next([&] {
    RunSafety safety(restore_);
    safety.Begin();
    begun = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(begun);
  EXPECT_TRUE(Exists(plain));  // the other run's plain file, in use
  other.Release();
  next.join();
  EXPECT_TRUE(begun);
  EXPECT_FALSE(Exists(plain));
  EXPECT_TRUE(JournalsLeft().empty());
}

}  // namespace
}  // namespace veilbox
