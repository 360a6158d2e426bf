#include <gtest/gtest.h>

#include "app/run_safety.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

// No lock file and no journal can be made where the prefix lies below a
// plain file: the run goes on without them.
TEST(RunSafetyPosixTest, UnusableDirectoriesDoNotStopTheRun) {
  veilbox::testing::ScratchDir scratch;
  const std::string blocker = scratch.Write("file", "x");
  veilbox::testing::PrefixOverride prefix(blocker + "/prefix");
  int restores = 0;
  RunSafety safety([&](const std::string&) { return ++restores > 0; });
  safety.Begin();
  EXPECT_EQ(safety.lock_result(), platform::LockResult::kUnavailable);
  std::string err;
  EXPECT_FALSE(safety.BeforePlainFiles({{scratch.str() + "/A.CI"}}, &err));  // nothing written then
  EXPECT_NE(err.find("run journal"), std::string::npos) << err;
  safety.BeforeOkMessageOff("Citect.ini");
  safety.Settle();
  EXPECT_EQ(restores, 0);
}

}  // namespace
}  // namespace veilbox
