// The wait of a lock that another process holds, the same for every lock
// of the seam: it gives up when a soft end is pending or the timeout has
// passed, and sleeps in slices of at most 50 ms meanwhile.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "platform/run_lock.h"

namespace veilbox::platform {

class LockWait {
 public:
  // timeout_ms -1: no limit.
  explicit LockWait(int timeout_ms);

  // Milliseconds since the wait began.
  std::int64_t waited_ms() const;
  // kInterrupted while a soft end is pending, kTimedOut once the timeout
  // has passed; nothing while the wait goes on.
  std::optional<LockResult> Verdict() const;
  // How long the next sleep may last: a slice, or what is left of the
  // timeout.
  int NextSliceMs() const;

 private:
  int timeout_ms_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace veilbox::platform
