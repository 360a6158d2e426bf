#include "platform/dir_lock.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "platform/interrupts.h"
#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

TEST(DirLockTest, OneHolderAtATimeAndTheFileGoesWithIt) {
  veilbox::testing::ScratchDir scratch;
  const std::string lock_file = scratch.str() + "\\" + kDirLockName;
  std::string err;
  {
    DirLock first;
    ASSERT_EQ(first.Acquire(scratch.str(), 0, &err), LockResult::kAcquired) << err;
    EXPECT_NE(FileAttributes(lock_file) & kAttrHidden, 0u);
    // The plan's word on it, told without taking it.
    EXPECT_NE(DirLock::Holder(scratch.str()).find(" holds it (" + lock_file + ")"),
              std::string::npos)
        << DirLock::Holder(scratch.str());

    DirLock second;
    EXPECT_EQ(second.Acquire(scratch.str() + "\\", 100, &err), LockResult::kTimedOut);
    {
      InterruptCatcher catcher;
      RequestInterrupt(kInterruptCloseRequest);
      EXPECT_EQ(second.Acquire(scratch.str(), -1, &err), LockResult::kInterrupted);
    }
    first.Release();
    EXPECT_EQ(FileAttributes(lock_file), kInvalidAttributes);
    EXPECT_EQ(DirLock::Holder(scratch.str()), "");
    EXPECT_EQ(second.Acquire(scratch.str(), 0, &err), LockResult::kAcquired) << err;
  }
  EXPECT_EQ(FileAttributes(lock_file), kInvalidAttributes);
}

TEST(DirLockTest, LeftoverOfADeadRunIsTakenOverAndUnusableDirectoryIsReported) {
  veilbox::testing::ScratchDir scratch;
  scratch.Write(kDirLockName, std::string(kDirLockFirstLine) + "\n12345\n");
  EXPECT_EQ(DirLock::Holder(scratch.str()), "") << "held by no one";
  std::string err;
  {
    DirLock lock;
    EXPECT_EQ(lock.Acquire(scratch.str(), 0, &err), LockResult::kTakenOver) << err;
  }
  EXPECT_EQ(FileAttributes(scratch.str() + "\\" + kDirLockName), kInvalidAttributes);

  DirLock lock;
  EXPECT_EQ(lock.Acquire(scratch.str() + "\\missing\\dir", -1, &err), LockResult::kUnavailable);
  EXPECT_FALSE(err.empty());
}

}  // namespace
}  // namespace veilbox::platform
