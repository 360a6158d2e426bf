#include "sysutil/retry_policy.h"

#include <thread>

#include "platform/files.h"

namespace veilbox {

bool IsPassingOpenError(std::uint32_t error) {
  return error == platform::kErrorSharingViolation || error == platform::kErrorLockViolation ||
         error == platform::kErrorAccessDenied;
}

bool RetryWhilePassing(const RetryPolicy& policy, const AttemptFn& attempt, const PauseFn& pause,
                       std::uint32_t* error) {
  std::uint32_t code = 0;
  for (int tried = 1;; ++tried) {
    code = 0;
    if (attempt(&code)) return true;
    if (tried >= policy.attempts || !IsPassingOpenError(code)) break;
    pause(policy.pause);
  }
  if (error) *error = code;
  return false;
}

void SleepFor(std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }

}  // namespace veilbox
