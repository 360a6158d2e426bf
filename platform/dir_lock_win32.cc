#include <windows.h>

#include "platform/dir_lock.h"
#include "platform/files.h"
#include "platform/interrupts.h"
#include "platform/lock_wait.h"
#include "platform/message_loop.h"
#include "platform/system_error.h"

namespace veilbox::platform {
namespace {

constexpr long long kDeniedPatienceMs = 2000;

}  // namespace

DirLock::~DirLock() { Release(); }

LockResult DirLock::Acquire(const std::string& dir, int timeout_ms, std::string* err) {
  if (held_) return LockResult::kAcquired;
  std::string path = dir;
  if (path.empty() || path.back() != '\\') path += '\\';
  path += kDirLockName;
  LockWait wait(timeout_ms);
  for (;;) {
    // No sharing: a second opener, on this machine or another, is refused
    // until the holder's handle closes, which also deletes the file.
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      const bool stale = GetLastError() == ERROR_ALREADY_EXISTS;
      handle_ = reinterpret_cast<std::intptr_t>(file);
      path_ = path;
      held_ = true;
      return stale ? LockResult::kTakenOver : LockResult::kAcquired;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) {
      *err = "cannot open " + path + ": " + SystemErrorText(error);
      return LockResult::kUnavailable;
    }
    if (PendingInterrupt() != 0) return LockResult::kInterrupted;
    // Access denied also comes for a short while when the holder's file
    // is being deleted; for longer, the directory refuses the file.
    if (error == ERROR_ACCESS_DENIED && wait.waited_ms() >= kDeniedPatienceMs) {
      *err = "cannot open " + path + ": " + SystemErrorText(ERROR_ACCESS_DENIED);
      return LockResult::kUnavailable;
    }
    if (auto verdict = wait.Verdict()) return *verdict;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(wait.NextSliceMs()),
                              QS_ALLINPUT);
    ProcessPendingMessages();
  }
}

void DirLock::Release() {
  if (!held_) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
  held_ = false;
}

}  // namespace veilbox::platform
