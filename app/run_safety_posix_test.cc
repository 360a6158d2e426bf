#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/run_safety.h"
#include "platform/process_identity.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

// A run never writes a plain file without its lock and its journal: where
// either cannot be had, it ends before the decryption, naming what.
TEST(RunSafetyPosixTest, UnusableProtectionEndsTheRun) {
  veilbox::testing::ScratchDir scratch;
  {
    // The prefix lies below a plain file: no lock file can be made.
    const std::string blocker = scratch.Write("file", "x");
    veilbox::testing::PrefixOverride prefix(blocker + "/prefix");
    RunSafety safety([](const std::string&) { return true; });
    try {
      safety.Begin();
      FAIL() << "the run went on";
    } catch (const ProtectionUnavailable& e) {
      EXPECT_NE(std::string(e.what()).find("Veilbox cannot take the run lock: "), std::string::npos)
          << e.what();
      EXPECT_NE(std::string(e.what()).find("Veilbox is unable to continue."), std::string::npos);
    }
  }
  {
    // The journal directory is gone once the run has begun (a plain file
    // at its name): no journal can be written.
    const std::filesystem::path home = scratch.path() / "home";
    std::filesystem::create_directories(home);
    veilbox::testing::PrefixOverride prefix(home.string());
    RunSafety safety([](const std::string&) { return true; });
    safety.Begin();
    std::filesystem::rename(home, scratch.path() / "moved");
    scratch.Write("home", "a file");
    std::string err;
    EXPECT_FALSE(safety.BeforePlainFiles({{scratch.str() + "\\A.CI", PlainFileKind::kNew}}, &err));
    EXPECT_NE(err.find("Veilbox cannot write its run journal: "), std::string::npos) << err;
  }
}

// A lock file that a run killed outright left in a project directory is
// removed by the next run, through the list beside the journal.
// The list names its run by the process id; one with the run's own id
// was left by an earlier process that had it.
TEST(RunSafetyPosixTest, LockFilesOfADeadRunAreRemoved) {
  const std::string own = std::to_string(platform::CurrentProcess().pid);
  struct Case {
    std::string list;   // the list's name
    std::string first;  // its first line
  };
  for (const Case& c : {Case{"compile-run-2147483632.locks", "2147483632 1"},
                        Case{"compile-run-2147483632-0123456789ABCDEF.locks", "2147483632 1"},
                        Case{"compile-run-" + own + ".locks", own + " 1"},
                        Case{"compile-run-" + own + "-0123456789ABCDEF.locks", own + " 1"},
                        Case{"compile-run-" + own + "-0123456789ABCDEF.locks", own}}) {
    SCOPED_TRACE(c.list);
    veilbox::testing::ScratchDir scratch;
    veilbox::testing::PrefixOverride prefix(scratch.str());
    const std::string project = scratch.str() + "/proj";
    std::filesystem::create_directories(project);
    scratch.Write("proj/" + std::string(platform::kDirLockName), "2147483632\n");
    scratch.Write(c.list, c.first + "\n" + project + "\\\n");
    RunSafety safety([](const std::string&) { return true; });
    safety.Begin();
    EXPECT_FALSE(std::filesystem::exists(project + "/" + platform::kDirLockName));
    EXPECT_FALSE(std::filesystem::exists(scratch.path() / c.list));
  }
}

// A dead run's list is dropped once nothing of the run's can be left in
// its directories: a directory that is gone, someone's entry at the
// lock's name (left as it is).
TEST(RunSafetyPosixTest, ALocksListGoesOnceNothingOfTheRunsIsLeft) {
  veilbox::testing::ScratchDir scratch;
  veilbox::testing::PrefixOverride prefix(scratch.str());
  const std::string someones = scratch.str() + "/someones";
  std::filesystem::create_directories(someones + "/" + platform::kDirLockName);
  scratch.Write("compile-run-2147483632.locks",
                "2147483632 1\n" + scratch.str() + "/gone\\\n" + someones + "\\\n");
  RunSafety safety([](const std::string&) { return true; });
  safety.Begin();
  EXPECT_FALSE(std::filesystem::exists(scratch.path() / "compile-run-2147483632.locks"));
  EXPECT_TRUE(std::filesystem::is_directory(someones + "/" + platform::kDirLockName));
}

// A list cut short by a kill while it was written names, in its last
// line, part of a directory's name: that directory was never the run's,
// and nothing in it is touched.
TEST(RunSafetyPosixTest, ALocksListCutShortIsFollowedOnlyAsFarAsItsWholeLines) {
  veilbox::testing::ScratchDir scratch;
  veilbox::testing::PrefixOverride prefix(scratch.str());
  std::filesystem::create_directories(scratch.path() / "proj");
  std::filesystem::create_directories(scratch.path() / "pro");
  const std::string dead_lock = "2147483632\n";
  scratch.Write("proj/" + std::string(platform::kDirLockName), dead_lock);
  scratch.Write("pro/" + std::string(platform::kDirLockName), dead_lock);
  scratch.Write("compile-run-2147483632.locks",
                "2147483632 1\n" + scratch.str() + "/proj\\\n" + scratch.str() + "/pro");
  RunSafety safety([](const std::string&) { return true; });
  safety.Begin();
  EXPECT_FALSE(std::filesystem::exists(scratch.path() / "proj" / platform::kDirLockName));
  EXPECT_EQ(veilbox::testing::ReadFileBytes(scratch.path() / "pro" / platform::kDirLockName),
            dead_lock);
  EXPECT_FALSE(std::filesystem::exists(scratch.path() / "compile-run-2147483632.locks"));
}

// A journal directory that cannot be listed is not one without journals:
// recovery says so instead of finding nothing to put back.
TEST(RunSafetyPosixTest, AJournalDirectoryThatCannotBeListedIsNotEmpty) {
  veilbox::testing::ScratchDir scratch;
  const std::string loop = (scratch.path() / "loop").string();
  ASSERT_EQ(::symlink("loop", loop.c_str()), 0);  // round in a circle
  const RecoveryReport report = RecoverAbandonedRuns(
      loop, platform::CurrentProcess(), [](const std::string&) { return true; },
      [](const platform::ProcessIdentity&) { return false; });
  EXPECT_NE(report.unlisted.find("cannot list " + loop), std::string::npos) << report.unlisted;
}

// A symbolic link to a project directory is the same directory.
TEST(RunSafetyPosixTest, ALinkToADirectoryIsThatDirectory) {
  veilbox::testing::ScratchDir scratch;
  scratch.Write("P/keep", "");
  std::filesystem::create_directory_symlink(scratch.path() / "P", scratch.path() / "L");
  std::vector<std::string> dirs;
  std::string err;
  ASSERT_TRUE(PlainFileDirectories({scratch.str() + "\\P\\A.CI", scratch.str() + "\\L\\B.CI"},
                                   &dirs, &err))
      << err;
  EXPECT_EQ(dirs.size(), 1u);
}

// A journal directory that others may write to, or that belongs to
// someone else, is not followed: the run ends before anything else,
// naming the directory, and a journal planted there stays unread.
TEST(RunSafetyPosixTest, AJournalDirectoryOthersCanWriteIsNotTrusted) {
  veilbox::testing::ScratchDir scratch;
  veilbox::testing::PrefixOverride prefix(scratch.str());
  const std::string victim = scratch.Write("victim.ci", "someone's");
  scratch.Write("victim.ci.Veilbox", "anything");
  scratch.Write("compile-run-1.journal", "planted");
  for (const auto mode :
       {std::filesystem::perms::group_write, std::filesystem::perms::others_write}) {
    std::filesystem::permissions(scratch.path(), std::filesystem::perms::owner_all | mode);
    RunSafety safety([](const std::string&) { return true; });
    try {
      safety.Begin();
      FAIL() << "the run went on";
    } catch (const ProtectionUnavailable& e) {
      EXPECT_NE(std::string(e.what()).find("cannot trust its journal directory: " + scratch.str()),
                std::string::npos)
          << e.what();
    }
    EXPECT_EQ(veilbox::testing::ReadFileBytes(victim), "someone's");
    EXPECT_TRUE(std::filesystem::exists(scratch.path() / "compile-run-1.journal"));
  }
  std::filesystem::permissions(scratch.path(), std::filesystem::perms::owner_all);
  RunSafety safety([](const std::string&) { return true; });
  EXPECT_NO_THROW(safety.Begin());
}

}  // namespace
}  // namespace veilbox
