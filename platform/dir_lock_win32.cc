#include <windows.h>

#include <chrono>

#include "platform/dir_lock.h"
#include "platform/files.h"
#include "platform/interrupts.h"
#include "platform/message_loop.h"

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
  const auto start = std::chrono::steady_clock::now();
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
      *err = "cannot open " + path + " (error " + std::to_string(error) + ")";
      return LockResult::kUnavailable;
    }
    if (PendingInterrupt() != 0) return LockResult::kInterrupted;
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
    // Access denied also comes for a short while when the holder's file
    // is being deleted; for longer, the directory refuses the file.
    if (error == ERROR_ACCESS_DENIED && waited >= kDeniedPatienceMs) {
      *err = "cannot open " + path + " (error 5)";
      return LockResult::kUnavailable;
    }
    if (timeout_ms >= 0 && waited >= timeout_ms) return LockResult::kTimedOut;
    DWORD slice = 50;
    if (timeout_ms >= 0 && timeout_ms - waited < 50)
      slice = static_cast<DWORD>(timeout_ms - waited);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_ALLINPUT);
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
