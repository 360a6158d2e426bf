#include "platform/interrupts.h"

#include <gtest/gtest.h>

namespace veilbox::platform {
namespace {

TEST(InterruptsTest, SessionEndRunsTheRegisteredCleanupOnceAndCountsAsASoftEnd) {
  InterruptCatcher catcher;
  int runs = 0;
  {
    EmergencyCleanup cleanup([&] { ++runs; });
    RunEmergencyCleanup();
    RunEmergencyCleanup();
  }
  RunEmergencyCleanup();  // nothing registered any more
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(PendingInterrupt(), kInterruptSessionEnd);
}

TEST(InterruptsTest, CloseRequestIsPendingUntilTheCatcherGoes) {
  EXPECT_FALSE(CatchingInterrupts());
  {
    InterruptCatcher catcher;
    EXPECT_TRUE(CatchingInterrupts());
    EXPECT_FALSE(WaitForInterrupt(0));
    RequestInterrupt(kInterruptCloseRequest);
    RequestInterrupt(kInterruptConsole);  // the first one counts
    EXPECT_TRUE(WaitForInterrupt(-1));
    EXPECT_EQ(PendingInterrupt(), kInterruptCloseRequest);
  }
  EXPECT_EQ(PendingInterrupt(), 0);
  EXPECT_FALSE(CatchingInterrupts());
}

}  // namespace
}  // namespace veilbox::platform
