// Who a process is, in a form that outlives it: its id and its start time,
// so that a later process that happens to get the same id is not taken for
// it. Used to tell whether the writer of a leftover record still runs.
#pragma once

#include <cstdint>

namespace veilbox::platform {

struct ProcessIdentity {
  std::uint32_t pid = 0;
  // The process's start time in the system's own units (Windows: FILETIME
  // of its creation; Linux: clock ticks after boot); 0 when unknown.
  std::uint64_t start_time = 0;
};

// The calling process. Established once, at the first call, and the same
// answer ever after: the names the run derives from it (what it set aside,
// its locks) must not change under it when a later look fails. A start
// time of 0 means it could not be established; a run must then not write.
ProcessIdentity CurrentProcess();

// True while the process still runs. A start time other than 0 must match
// the running process's own, or that process is a later one with a reused
// id. A process that exists but cannot be inspected counts as running.
bool ProcessIsRunning(const ProcessIdentity& process);

}  // namespace veilbox::platform
