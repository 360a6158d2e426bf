#include "platform/lock_wait.h"

#include "platform/interrupts.h"

namespace veilbox::platform {
namespace {

constexpr std::int64_t kSliceMs = 50;

}  // namespace

LockWait::LockWait(int timeout_ms)
    : timeout_ms_(timeout_ms), start_(std::chrono::steady_clock::now()) {}

std::int64_t LockWait::waited_ms() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start_)
      .count();
}

std::optional<LockResult> LockWait::Verdict() const {
  if (PendingInterrupt() != 0) return LockResult::kInterrupted;
  if (timeout_ms_ >= 0 && waited_ms() >= timeout_ms_) return LockResult::kTimedOut;
  return std::nullopt;
}

int LockWait::NextSliceMs() const {
  if (timeout_ms_ < 0) return static_cast<int>(kSliceMs);
  const std::int64_t left = timeout_ms_ - waited_ms();
  if (left <= 0) return 0;
  return static_cast<int>(left < kSliceMs ? left : kSliceMs);
}

}  // namespace veilbox::platform
