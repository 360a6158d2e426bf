// The POSIX halves of the run lock and the directory lock take an
// exclusive flock on a lock file; this is their common part.
#pragma once

#include <optional>
#include <string>

#include "platform/lock_wait.h"

namespace veilbox::platform {

// Takes an exclusive flock on fd (the lock file at path), waiting under
// wait while another process holds it. Nothing when the lock is taken;
// otherwise the result to give (kUnavailable with *err, or the wait's
// verdict), fd then closed.
std::optional<LockResult> FlockWaiting(int fd, const std::string& path, const LockWait& wait,
                                       std::string* err);

// True when fd is still the file that carries the lock's name (its holder
// did not remove it while we waited).
bool StillTheLockFile(int fd, const std::string& path);

}  // namespace veilbox::platform
