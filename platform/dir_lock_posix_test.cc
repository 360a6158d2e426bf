#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/dir_lock.h"
#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

void WriteFile(const std::filesystem::path& at, const std::string& bytes) {
  std::ofstream(at, std::ios::binary) << bytes;
}

// Someone's entry at the lock's name: the lock cannot be had, the entry
// is named and stays exactly as it was, and its other names too.
TEST(DirLockPosixTest, SomeonesEntryAtTheLocksNameIsLeftAlone) {
  namespace fs = std::filesystem;
  struct Case {
    const char* what;
    std::function<void(const fs::path& dir, const fs::path& at)> make;
  };
  const Case cases[] = {
      {"a person's file", [](const fs::path&, const fs::path& at) { WriteFile(at, "my notes\n"); }},
      {"a second name of a person's file",
       [](const fs::path& dir, const fs::path& at) {
         WriteFile(dir / "notes.txt", "");
         fs::create_hard_link(dir / "notes.txt", at);
       }},
      {"a second name of an old lock's look-alike",
       [](const fs::path& dir, const fs::path& at) {
         WriteFile(dir / "pid.txt", "12345\n");
         fs::create_hard_link(dir / "pid.txt", at);
       }},
      {"a link",
       [](const fs::path& dir, const fs::path& at) {
         WriteFile(dir / "target.txt", "target\n");
         fs::create_symlink(dir / "target.txt", at);
       }},
      {"a FIFO",
       [](const fs::path&, const fs::path& at) { ASSERT_EQ(mkfifo(at.c_str(), 0600), 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    veilbox::testing::ScratchDir scratch;
    const fs::path at = scratch.path() / kDirLockName;
    c.make(scratch.path(), at);
    struct stat before;
    ASSERT_EQ(lstat(at.c_str(), &before), 0);
    const bool regular = fs::is_regular_file(fs::symlink_status(at));
    const std::string bytes = regular ? veilbox::testing::ReadFileBytes(at) : std::string();
    {
      DirLock lock;
      std::string err;
      EXPECT_EQ(lock.Acquire(scratch.str(), 0, &err), LockResult::kUnavailable);
      EXPECT_NE(err.find(kDirLockName), std::string::npos) << err;
    }
    struct stat after;
    ASSERT_EQ(lstat(at.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, before.st_nlink);
    EXPECT_EQ(after.st_size, before.st_size);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    if (regular) {
      EXPECT_EQ(veilbox::testing::ReadFileBytes(at), bytes);
    }
    if (fs::exists(scratch.path() / "target.txt")) {
      EXPECT_EQ(veilbox::testing::ReadFileBytes(scratch.path() / "target.txt"), "target\n");
    }
  }
}

// The lock file says what it is, so that no run takes a person's file for
// one.
// Made new or taken over from a dead run whose note was longer, it holds
// this run's note and nothing of the one before.
TEST(DirLockPosixTest, TheLockFileSaysWhatItIs) {
  const std::string first = std::string(kDirLockFirstLine) + "\n";
  const struct {
    const char* left;  // the file a dead run left; null for none
    LockResult result;
  } cases[] = {
      {nullptr, LockResult::kAcquired},
      {"4294967295 and a note longer than this run's\n", LockResult::kTakenOver},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left ? c.left : "no file");
    veilbox::testing::ScratchDir scratch;
    const std::string file = scratch.str() + "/" + kDirLockName;
    if (c.left) WriteFile(file, first + c.left);
    DirLock lock;
    std::string err;
    ASSERT_EQ(lock.Acquire(scratch.str(), 0, &err), c.result) << err;
    EXPECT_EQ(veilbox::testing::ReadFileBytes(file), first + std::to_string(getpid()) + "\n");
  }
}

// The plan's word on a lock: held only while a process keeps the lock
// file's flock; the process id in the file alone says nothing (a run that
// was killed leaves its file behind, and its id may be anyone's by now).
TEST(DirLockPosixTest, HolderIsTheProcessThatKeepsTheLock) {
  veilbox::testing::ScratchDir scratch;
  const std::string file = scratch.str() + "/" + kDirLockName;
  const std::string holds = " holds it (" + scratch.str() + "\\" + kDirLockName + ")";
  const std::string first = std::string(kDirLockFirstLine) + "\n";

  // A run in another process holds it, then is killed outright.
  const pid_t child = fork();
  if (child == 0) {
    DirLock lock;
    std::string err;
    if (lock.Acquire(scratch.str(), 0, &err) != LockResult::kAcquired) _exit(1);
    for (;;) pause();
  }
  ASSERT_GT(child, 0);
  const std::string child_text = first + std::to_string(child) + "\n";
  for (int i = 0; i < 2000 && veilbox::testing::ReadFileBytes(file) != child_text; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(DirLock::Holder(scratch.str()), "process " + std::to_string(child) + holds);
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ASSERT_EQ(veilbox::testing::ReadFileBytes(file), child_text) << "the dead run's file is gone";
  EXPECT_EQ(DirLock::Holder(scratch.str()), "");

  // Its file names a process that runs (this one), which holds no lock.
  WriteFile(file, first + std::to_string(getpid()) + "\n");
  EXPECT_EQ(DirLock::Holder(scratch.str()), "");

  // This process holds it; then a holder whose id names no process (one
  // that no longer runs, or a run elsewhere on a file share).
  {
    DirLock lock;
    std::string err;
    ASSERT_EQ(lock.Acquire(scratch.str(), 0, &err), LockResult::kTakenOver) << err;
    EXPECT_EQ(DirLock::Holder(scratch.str()), "process " + std::to_string(getpid()) + holds);
    WriteFile(file, first + "2147483632\n");
    EXPECT_EQ(DirLock::Holder(scratch.str()), "a run" + holds);
  }
  EXPECT_EQ(DirLock::Holder(scratch.str()), "");
}

}  // namespace
}  // namespace veilbox::platform
