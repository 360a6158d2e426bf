#include "sysutil/retry_policy.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/files.h"

namespace veilbox {
namespace {

using std::chrono::milliseconds;

// Each attempt takes the next code of the script; 0 is a success.
struct Script {
  std::vector<std::uint32_t> codes;
  std::size_t next = 0;
  std::vector<milliseconds> pauses;

  bool Run(const RetryPolicy& policy, std::uint32_t* error) {
    return RetryWhilePassing(
        policy,
        [this](std::uint32_t* code) {
          *code = codes.at(next++);
          return *code == 0;
        },
        [this](milliseconds pause) { pauses.push_back(pause); }, error);
  }
};

TEST(RetryPolicy, TriesAgainOnlyWhileTheFailureMayPass) {
  const RetryPolicy policy{4, milliseconds(25)};
  struct Case {
    std::vector<std::uint32_t> codes;
    bool ok;
    std::size_t tries;
    std::uint32_t error;
  };
  const Case cases[] = {
      {{0}, true, 1, 0},
      {{32, 33, 0}, true, 3, 0},
      {{5, 0}, true, 2, 0},
      {{32, 32, 32, 32, 0}, false, 4, 32},  // gives up after four tries
      {{32, 2}, false, 2, 2},               // gone: not tried again
      {{platform::kErrorBadFileType}, false, 1, platform::kErrorBadFileType},
      {{3}, false, 1, 3},
  };
  for (const Case& c : cases) {
    Script script{c.codes, 0, {}};
    std::uint32_t error = 0;
    EXPECT_EQ(script.Run(policy, &error), c.ok) << c.codes.size();
    EXPECT_EQ(script.next, c.tries);
    EXPECT_EQ(script.pauses, std::vector<milliseconds>(c.tries - 1, milliseconds(25)));
    if (!c.ok) {
      EXPECT_EQ(error, c.error);
    }
  }
}

TEST(RetryPolicy, TheOpenPolicyWaitsAboutASecondAtMost) {
  EXPECT_GE(kOpenRetryPolicy.attempts, 2);
  const auto total = kOpenRetryPolicy.pause * (kOpenRetryPolicy.attempts - 1);
  EXPECT_GE(total, milliseconds(500));
  EXPECT_LE(total, milliseconds(2000));
}

}  // namespace
}  // namespace veilbox
