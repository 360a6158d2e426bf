#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/child_process.h"
#include "platform/interrupts.h"
#include "platform/message_box.h"
#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

using veilbox::testing::HelperPath;
using veilbox::testing::ReadFileBytes;
using veilbox::testing::ScratchDir;

bool WaitForFile(const std::filesystem::path& path) {
  for (int i = 0; i < 2000; ++i) {
    if (std::filesystem::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

TEST(InterruptsTest, SignalToTheRunIsPassedOnToTheRunningChild) {
  ScratchDir scratch;
  InterruptCatcher catcher;
  EXPECT_EQ(PendingInterrupt(), 0);
  ChildProcess child;
  std::uint32_t error = 0, code = 0;
  const auto ready = scratch.path() / "ready";
  const auto recorded = scratch.path() / "signal";
  ASSERT_TRUE(
      child.Start({HelperPath("signal-recorder"), ready.string(), recorded.string()}, &error));
  ASSERT_TRUE(WaitForFile(ready));
  {
    InterruptForwarding forwarding(child.pid());
    raise(SIGHUP);
    ASSERT_TRUE(child.Wait(20000, &code));
  }
  EXPECT_EQ(PendingInterrupt(), SIGHUP);
  EXPECT_TRUE(WaitForInterrupt(0));
  EXPECT_EQ(child.term_signal(), SIGHUP);
  EXPECT_EQ(ReadFileBytes(recorded), std::to_string(SIGHUP));
}

TEST(InterruptsTest, SoftEndBeforeTheChildStartsReachesItToo) {
  ScratchDir scratch;
  InterruptCatcher catcher;
  raise(SIGINT);
  ASSERT_EQ(PendingInterrupt(), SIGINT);
  ChildProcess child;
  std::uint32_t error = 0, code = 0;
  ASSERT_TRUE(child.Start({HelperPath("signal-recorder"), (scratch.path() / "ready").string(),
                           (scratch.path() / "signal").string()},
                          &error));
  InterruptForwarding forwarding(child.pid());
  ASSERT_TRUE(child.Wait(20000, &code));
  EXPECT_EQ(child.term_signal(), SIGINT);
}

TEST(InterruptsTest, WaitingEndsWhenASoftEndArrives) {
  InterruptCatcher catcher;
  EXPECT_FALSE(WaitForInterrupt(10));
  std::thread sender([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(getpid(), SIGTERM);
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(WaitForInterrupt(20000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  sender.join();
  EXPECT_EQ(PendingInterrupt(), SIGTERM);
}

TEST(InterruptsTest, SignalStartedIgnoredStaysIgnored) {
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGHUP, &ignore, &old);
  {
    InterruptCatcher catcher;
    raise(SIGHUP);
    EXPECT_EQ(PendingInterrupt(), 0);
    raise(SIGTERM);
    EXPECT_EQ(PendingInterrupt(), SIGTERM);
  }
  sigaction(SIGHUP, &old, nullptr);
}

// A message box on a standard error whose reader is gone fails quietly:
// no SIGPIPE, so no soft end, and the run goes on.
TEST(InterruptsTest, MessageBoxToAClosedPipeIsNoSignal) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  const int saved = dup(STDERR_FILENO);
  dup2(fds[1], STDERR_FILENO);
  close(fds[1]);
  {
    InterruptCatcher catcher;
    ShowPlainMessage("Veilbox", "nobody reads this");
    ShowErrorDialog("nor this");
    EXPECT_EQ(PendingInterrupt(), 0);
  }
  dup2(saved, STDERR_FILENO);
  close(saved);
  sigset_t pending;
  sigpending(&pending);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
}

// The whole soft end of a run, in its own process: the signal reaches the
// compiler, the run waits for it, cleans up, and ends by the same signal.
class InterruptedRunTest : public ::testing::TestWithParam<int> {};

TEST_P(InterruptedRunTest, CleansUpAndEndsByTheSameSignal) {
  const int sig = GetParam();
  ScratchDir scratch;
  ChildProcess run;
  std::uint32_t error = 0, code = 0;
  ASSERT_TRUE(run.Start(
      {HelperPath("interrupted-run"), scratch.str(), HelperPath("signal-recorder")}, &error));
  ASSERT_TRUE(WaitForFile(scratch.path() / "ready"));
  ASSERT_TRUE(std::filesystem::exists(scratch.path() / "plain"));
  kill(static_cast<pid_t>(run.pid()), sig);
  ASSERT_TRUE(run.Wait(20000, &code));
  EXPECT_EQ(run.term_signal(), sig);
  EXPECT_EQ(ReadFileBytes(scratch.path() / "child-signal"), std::to_string(sig));
  EXPECT_EQ(ReadFileBytes(scratch.path() / "cleaned"), std::to_string(128 + sig));
  EXPECT_FALSE(std::filesystem::exists(scratch.path() / "plain"));
}

// Every signal that would end the process unasked is a soft end.
INSTANTIATE_TEST_SUITE_P(Signals, InterruptedRunTest,
                         ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2,
                                           SIGALRM, SIGPIPE, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF,
                                           SIGRTMIN));

}  // namespace
}  // namespace veilbox::platform
