// One compile run at a time on a machine: two runs must not delete each
// other's plain files while a compiler reads them, nor trip over each
// other's hidden plain files. Windows: the named mutex
// "Global\VeilboxCompileRun", open to every signed-in user so that runs of
// different sessions serialize too (falling back to the session's own
// "Local\" namespace where the global one is refused). POSIX stand-in: the
// lock file run.lock in the prefix directory, held with flock(); it holds
// the holder's process id while it is held.
//
// The operating system releases the lock of a process that dies. A run
// that gets a lock whose holder died without releasing it is told so where
// the system can tell: always on POSIX (the file still names the holder);
// on Windows only when the mutex outlived the holder because another run
// had it open too, else it vanished with the holder and is simply free.
// Either way the journal of the dead run is what cleans up after it.
#pragma once

#include <cstdint>
#include <string>

namespace veilbox::platform {

enum class LockResult {
  kAcquired,
  kTakenOver,    // acquired; the previous holder died without releasing it
  kTimedOut,     // another run still holds it
  kInterrupted,  // a soft end arrived while waiting (see interrupts.h)
  kUnavailable,  // the lock itself cannot be made or used
};

class RunLock {
 public:
  RunLock() = default;
  // Releases the lock when held.
  ~RunLock();
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;

  // Waits up to timeout_ms (-1: no limit) for the lock. Windows: a mutex
  // belongs to a thread, so Acquire and Release on the same thread. While it waits it
  // keeps dispatching the program's pending window messages (Windows) and
  // gives up when a soft end is pending. *err says why on kUnavailable.
  LockResult Acquire(int timeout_ms, std::string* err);

  bool held() const { return held_; }
  // Process id of the holder that died, for kTakenOver where it is known
  // (POSIX; Windows does not tell), else 0.
  std::uint32_t dead_holder() const { return dead_holder_; }

  void Release();

 private:
  bool held_ = false;
  std::uint32_t dead_holder_ = 0;
  std::intptr_t handle_ = -1;  // mutex HANDLE or lock file descriptor
};

}  // namespace veilbox::platform
