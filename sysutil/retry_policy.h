// Trying a file operation again for a short while when it failed for a
// reason that often passes by itself: another program (a virus scanner, a
// backup, an editor saving) holding the file open without sharing.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace veilbox {

struct RetryPolicy {
  // Tries in all, the first one included; at least 1.
  int attempts = 1;
  // The pause before each try after the first.
  std::chrono::milliseconds pause{0};
};

// About one second in all: a sharing violation from a scanner is usually
// gone well within that.
inline constexpr RetryPolicy kOpenRetryPolicy{11, std::chrono::milliseconds(100)};

// Whether an open that failed with this Windows error code may succeed
// when tried again shortly: a sharing or lock violation, or access denied
// (which Windows also gives for a file that is being replaced or deleted).
bool IsPassingOpenError(std::uint32_t error);

// Runs attempt until it succeeds, fails with an error that is not passing,
// or the policy's tries are used up, calling pause between two tries. The
// attempt returns true on success, or false with its Windows error code;
// the result is the last attempt's, with *error its code.
using AttemptFn = std::function<bool(std::uint32_t* error)>;
using PauseFn = std::function<void(std::chrono::milliseconds)>;
bool RetryWhilePassing(const RetryPolicy& policy, const AttemptFn& attempt, const PauseFn& pause,
                       std::uint32_t* error);

// The pause that RetryWhilePassing uses outside the tests: sleeps the
// calling thread.
void SleepFor(std::chrono::milliseconds pause);

}  // namespace veilbox
