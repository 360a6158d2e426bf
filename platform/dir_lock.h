// A lock on one project directory, for runs that do not share a run lock:
// runs on two machines that compile projects on one file share, or two
// installations on one machine. The lock is the hidden file
// "~Veilbox.lock" in the directory, held open without sharing for the
// whole run and removed when it is released. Windows: the file is opened
// with no sharing and deleted on close, so the system removes it even when
// the holder dies. POSIX stand-in: the file is held with flock(); one left
// behind by a run that died is free and is taken over.
//
// A run takes the locks of all the directories it writes to in one fixed
// order (TakeDirLocks in the run's safety net), so two runs cannot wait
// for each other.
#pragma once

#include <cstdint>
#include <string>

#include "platform/run_lock.h"

namespace veilbox::platform {

// The lock file's name; not a ProtectedFile's name.
inline constexpr char kDirLockName[] = "~Veilbox.lock";
// The lock file's first line: an entry at the lock's name without it is
// someone's, and a run that meets one ends without touching it.
inline constexpr char kDirLockFirstLine[] = "Veilbox directory lock";

class DirLock {
 public:
  DirLock() = default;
  // Releases the lock when held.
  ~DirLock();
  DirLock(const DirLock&) = delete;
  DirLock& operator=(const DirLock&) = delete;

  // Waits up to timeout_ms (-1: no limit) for the lock of dir (a Windows
  // path, with or without a trailing backslash). While it waits it keeps
  // dispatching the program's pending window messages (Windows) and gives
  // up when a soft end is pending. kTakenOver: a lock file of a dead run
  // was there. *err says why on kUnavailable, which is also the answer,
  // with the entry left as it is, when someone's entry (not Veilbox's
  // lock file, a link, a file with a second name) stands at the lock's
  // name.
  LockResult Acquire(const std::string& dir, int timeout_ms, std::string* err);

  // What Acquire on dir would say (*err) for want of the right to create
  // the lock file there, asked without creating anything; empty when this
  // user can create it or a lock file stands there already. Windows: the
  // directory's security, checked for this user. POSIX: write and search
  // access for this user, and the immutable attribute.
  static std::string CreateRefusal(const std::string& dir);

  // Who holds dir's lock, told without taking it: empty when no lock file
  // stands there or when the one there is held by no one (left by a run
  // that died: the next run takes it over); otherwise "process N" when the
  // file names a process that runs, else that a run holds it. Someone's
  // entry at the name is named as such.
  static std::string Holder(const std::string& dir);
  // The text Acquire gives (*err) for someone's entry at dir's lock name.
  static std::string NotOurs(const std::string& dir);

  bool held() const { return held_; }
  // Closes and removes the lock file.
  void Release();

 private:
  // Whether a process holds the lock file at path (a Windows path) now,
  // asked without taking it, and its first bytes in *head where they can
  // be read. Windows: the holder keeps it open without sharing, so it
  // cannot be opened. POSIX: the holder keeps an flock on it; a file left
  // by a holder that died is held by no one.
  enum class HeldNow { kYes, kNo, kUnknown };
  static HeldNow IsHeldNow(const std::string& path, std::string* head);

  bool held_ = false;
  std::string path_;           // the lock file, as the system names it
  std::intptr_t handle_ = -1;  // file HANDLE or descriptor
};

}  // namespace veilbox::platform
