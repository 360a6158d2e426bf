#include "platform/run_lock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/child_process.h"
#include "platform/interrupts.h"
#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

using veilbox::testing::HelperPath;
using veilbox::testing::ReadFileBytes;
using veilbox::testing::ScratchDir;

// Waits until the helper has written its ready file; its text.
std::string WaitForFile(const std::filesystem::path& path) {
  for (int i = 0; i < 2000 && !std::filesystem::exists(path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return ReadFileBytes(path);
}

class RunLockTest : public ::testing::Test {
 protected:
  ScratchDir scratch_;
  veilbox::testing::PrefixOverride prefix_{scratch_.str()};
};

TEST_F(RunLockTest, SecondRunWaitsUntilTheFirstReleases) {
  ChildProcess holder;
  std::uint32_t error = 0;
  const auto ready = scratch_.path() / "ready";
  ASSERT_TRUE(holder.Start({HelperPath("run-lock-holder"), ready.string(), "1500"}, &error))
      << error;
  ASSERT_EQ(WaitForFile(ready), "acquired");

  RunLock lock;
  std::string err;
  EXPECT_EQ(lock.Acquire(100, &err), LockResult::kTimedOut);
  EXPECT_FALSE(lock.held());

  {  // a soft end stops the wait
    InterruptCatcher catcher;
    RequestInterrupt(kInterruptCloseRequest);
    EXPECT_EQ(lock.Acquire(-1, &err), LockResult::kInterrupted);
  }

  // The holder ends normally after its time and releases the lock.
  EXPECT_EQ(lock.Acquire(20000, &err), LockResult::kAcquired) << err;
  EXPECT_TRUE(lock.held());
  std::uint32_t code = 99;
  ASSERT_TRUE(holder.Wait(20000, &code));
  EXPECT_EQ(code, 0u);

  // While we hold it, another process waits.
  ChildProcess second;
  const auto ready2 = scratch_.path() / "ready2";
  ASSERT_TRUE(second.Start({HelperPath("run-lock-holder"), ready2.string(), "0"}, &error));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(std::filesystem::exists(ready2));
  lock.Release();
  EXPECT_EQ(WaitForFile(ready2), "acquired");
  ASSERT_TRUE(second.Wait(20000, &code));
}

TEST_F(RunLockTest, LockOfAKilledHolderIsTakenOver) {
  ChildProcess holder;
  std::uint32_t error = 0;
  const auto ready = scratch_.path() / "ready";
  ASSERT_TRUE(holder.Start({HelperPath("run-lock-holder"), ready.string(), "-1"}, &error));
  ASSERT_EQ(WaitForFile(ready), "acquired");
  const std::uint32_t holder_pid = holder.pid();

  // Another run already waits when the holder is killed (a Windows mutex
  // that nobody else has open vanishes with its holder and cannot tell).
  LockResult result = LockResult::kUnavailable;
  std::uint32_t dead_holder = 1;
  std::string err;
  std::thread waiter([&] {
    RunLock lock;
    result = lock.Acquire(20000, &err);
    dead_holder = lock.dead_holder();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  holder.Kill();
  std::uint32_t code = 0;
  EXPECT_TRUE(holder.Wait(20000, &code));
  waiter.join();
  EXPECT_EQ(result, LockResult::kTakenOver) << err;
  // The POSIX lock file names the holder; a Windows mutex does not.
  EXPECT_TRUE(dead_holder == holder_pid || dead_holder == 0) << dead_holder;

  RunLock lock;
  // A clean release leaves nothing to take over.
  EXPECT_EQ(lock.Acquire(5000, &err), LockResult::kAcquired) << err;
}

}  // namespace
}  // namespace veilbox::platform
