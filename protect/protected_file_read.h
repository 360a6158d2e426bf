// Reading a ProtectedFile for its decryption: once, whole, into memory of
// its size, held without sharing while it is read.
#pragma once

#include <cstdint>
#include <string>

#include "sysutil/errors.h"
#include "sysutil/retry_policy.h"

namespace veilbox {

// A ProtectedFile that could not be read; what() says why, for the
// message "Unable to decrypt " + name + ": " + what().
class ProtectedFileReadError : public Error {
 public:
  ProtectedFileReadError(std::uint32_t code, const std::string& reason)
      : Error(reason), code_(code) {}
  // The Windows error code of the last try.
  std::uint32_t code() const { return code_; }

 private:
  std::uint32_t code_;
};

// Why a read that failed with this Windows error code failed, as a short
// sentence for the user.
std::string ReadFailureReason(std::uint32_t error);

// The bytes of the ProtectedFile FileName. Only a regular file is read (a
// FIFO or a device at the name fails at once). An open that fails for a
// reason that may pass (IsPassingOpenError) is tried again under policy,
// pausing with pause. Raises ProtectedFileReadError when the file cannot
// be read.
std::string ReadProtectedFile(const std::string& FileName,
                              const RetryPolicy& policy = kOpenRetryPolicy,
                              const PauseFn& pause = SleepFor);

}  // namespace veilbox
