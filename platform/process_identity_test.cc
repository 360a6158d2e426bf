#include "platform/process_identity.h"

#include <gtest/gtest.h>

#include "platform/child_process.h"
#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

TEST(ProcessIdentityTest, TellsRunningFromEndedAndFromReusedIds) {
  const ProcessIdentity me = CurrentProcess();
  EXPECT_NE(me.pid, 0u);
  EXPECT_TRUE(ProcessIsRunning(me));

  veilbox::testing::ScratchDir scratch;
  veilbox::testing::PrefixOverride prefix(scratch.str());  // the helper takes the run lock
  ChildProcess child;
  std::uint32_t error = 0, code = 0;
  ASSERT_TRUE(child.Start(
      {veilbox::testing::HelperPath("run-lock-holder"), (scratch.path() / "ready").string(), "-1"},
      &error));
  ProcessIdentity other{child.pid(), 0};
  EXPECT_TRUE(ProcessIsRunning(other));

  if (me.start_time != 0) {  // a start time that differs: another process with the same id
    ProcessIdentity impostor = me;
    impostor.start_time ^= 1;
    EXPECT_FALSE(ProcessIsRunning(impostor));
  }

  child.Kill();
  ASSERT_TRUE(child.Wait(20000, &code));
  EXPECT_FALSE(ProcessIsRunning(other));
  EXPECT_FALSE(ProcessIsRunning(ProcessIdentity{0, 0}));
}

}  // namespace
}  // namespace veilbox::platform
