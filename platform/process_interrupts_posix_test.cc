#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/interrupts.h"
#include "platform/process.h"
#include "testing/test_support.h"
#include "text/command_line_split.h"

namespace veilbox::platform {
namespace {

// A soft end that reaches the run while the compiler runs reaches the
// compiler, and the wait goes on until the compiler has ended.
TEST(ProcessInterruptsTest, SoftEndDuringTheWaitIsPassedOnToTheChild) {
  veilbox::testing::ScratchDir scratch;
  const auto ready = scratch.path() / "ready";
  const auto recorded = scratch.path() / "signal";
  InterruptCatcher catcher;
  std::thread sender([&] {
    for (int i = 0; i < 2000 && !std::filesystem::exists(ready); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    kill(getpid(), SIGTERM);
  });
  std::uint32_t exit_code = 0, error = 0;
  const bool started =
      RunProcessAndWait("",
                        text::JoinCommandLine({veilbox::testing::HelperPath("signal-recorder"),
                                               ready.string(), recorded.string()}),
                        "", &exit_code, &error);
  sender.join();
  ASSERT_TRUE(started) << error;
  EXPECT_EQ(exit_code, 128u + SIGTERM);
  EXPECT_EQ(PendingInterrupt(), SIGTERM);
  EXPECT_EQ(veilbox::testing::ReadFileBytes(recorded), std::to_string(SIGTERM));
}

}  // namespace
}  // namespace veilbox::platform
