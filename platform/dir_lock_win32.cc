#include <windows.h>

#include <memory>
#include <vector>

#include "platform/dir_lock.h"
#include "platform/files.h"
#include "platform/interrupts.h"
#include "platform/lock_wait.h"
#include "platform/message_loop.h"
#include "platform/system_error.h"

namespace veilbox::platform {
namespace {

constexpr long long kDeniedPatienceMs = 2000;

struct HandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// Whether the directory's security lets this user add a file; true when
// that cannot be told (the attempt then says).
bool MayAddFile(std::string dir) {
  while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
  const SECURITY_INFORMATION wanted =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  GetFileSecurityA(dir.c_str(), wanted, nullptr, 0, &needed);
  if (needed == 0) return true;
  std::vector<BYTE> security(needed);
  if (!GetFileSecurityA(dir.c_str(), wanted, security.data(), needed, &needed)) return true;
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &raw)) return true;
  OwnedHandle process_token(raw);
  if (!DuplicateToken(process_token.get(), SecurityImpersonation, &raw)) return true;
  OwnedHandle token(raw);
  GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                          FILE_ALL_ACCESS};
  DWORD desired = FILE_ADD_FILE;
  MapGenericMask(&desired, &mapping);
  PRIVILEGE_SET privileges{};
  DWORD privileges_size = sizeof privileges;
  DWORD granted = 0;
  BOOL allowed = FALSE;
  if (!AccessCheck(security.data(), token.get(), desired, &mapping, &privileges, &privileges_size,
                   &granted, &allowed))
    return true;
  return allowed != FALSE;
}

}  // namespace

std::string DirLock::CreateRefusal(const std::string& dir) {
  std::string path = dir;
  if (path.empty() || path.back() != '\\') path += '\\';
  path += kDirLockName;
  if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return {};
  if (MayAddFile(dir)) return {};
  return "cannot open " + path + " (error 5)";
}

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
