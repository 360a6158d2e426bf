// How many threads decrypt ProtectedFiles at once: one per processor, at
// most kMaxDecryptWorkers. The environment variable VEILBOX_DECRYPT_WORKERS
// (a number from 1 up) sets the count, for tests and measurements.
#pragma once

namespace veilbox {

inline constexpr unsigned kMaxDecryptWorkers = 8;
inline constexpr char kDecryptWorkersVariable[] = "VEILBOX_DECRYPT_WORKERS";

// The count for a value of the variable (null when it is not set) on a
// machine with `processors` processors (0 when unknown). A value that is
// not a whole number from 1 up is ignored; a set count is capped at 64.
unsigned DecryptWorkerCount(const char* setting, unsigned processors);

// The count for this process.
unsigned DecryptWorkerCount();

}  // namespace veilbox
