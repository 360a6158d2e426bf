#include <windows.h>

#include <memory>
#include <string>
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

std::string LockFilePath(const std::string& dir) {
  std::string path = dir;
  if (path.empty() || path.back() != '\\') path += '\\';
  return path + kDirLockName;
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

std::string DirLock::NotOurs(const std::string& dir) {
  return LockFilePath(dir) + " is not Veilbox's lock file: left as it is";
}

DirLock::HeldNow DirLock::IsHeldNow(const std::string& path, std::string* head) {
  head->clear();
  // The holder shares its handle with no one: any opener is refused.
  // (Read access: an opener for its attributes alone is never refused.)
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    char bytes[64];
    DWORD got = 0;
    const bool read = ReadFile(file, bytes, sizeof bytes, &got, nullptr);
    CloseHandle(file);
    if (!read) return HeldNow::kUnknown;
    head->assign(bytes, got);
    return HeldNow::kNo;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_SHARING_VIOLATION) return HeldNow::kYes;
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return HeldNow::kNo;
  return HeldNow::kUnknown;
}

DirLock::~DirLock() { Release(); }

namespace {

// True when the entry open as file is a lock file of Veilbox's: a regular
// file with one name, no link or junction, that is empty (just made, or
// left by an earlier version) or starts with the lock's first line.
// Anything else is someone's, and is neither written nor removed.
bool IsOurLockFile(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION data;
  if (!GetFileInformationByHandle(file, &data)) return false;
  if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
      data.nNumberOfLinks != 1)
    return false;
  if (data.nFileSizeHigh == 0 && data.nFileSizeLow == 0) return true;
  char head[64];
  DWORD got = 0;
  if (!ReadFile(file, head, sizeof head, &got, nullptr) || got == 0) return false;
  const std::string text(head, got);
  const std::string first = std::string(kDirLockFirstLine) + "\n";
  return text.compare(0, first.size(), first) == 0;
}

// Writes the lock's first line and the holder's process id over what the
// file held, and lets the system delete it when its handle closes, even
// when the holder dies.
bool MakeOurLockFile(HANDLE file) {
  const std::string me =
      std::string(kDirLockFirstLine) + "\n" + std::to_string(GetCurrentProcessId()) + "\n";
  DWORD wrote = 0;
  FILE_DISPOSITION_INFO dispose{TRUE};
  return SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
         SetEndOfFile(file) &&
         WriteFile(file, me.data(), static_cast<DWORD>(me.size()), &wrote, nullptr) &&
         SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose);
}

}  // namespace

LockResult DirLock::Acquire(const std::string& dir, int timeout_ms, std::string* err) {
  if (held_) return LockResult::kAcquired;
  std::string path = dir;
  if (path.empty() || path.back() != '\\') path += '\\';
  path += kDirLockName;
  LockWait wait(timeout_ms);
  for (;;) {
    // No sharing: a second opener, on this machine or another, is refused
    // until the holder's handle closes, which also deletes the file. A
    // link or a junction at the name is opened itself, never followed,
    // and nothing is deleted on close until the file is known to be ours.
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      const bool stale = GetLastError() == ERROR_ALREADY_EXISTS;
      OwnedHandle owned(file);
      if (stale && !IsOurLockFile(file)) {
        *err = NotOurs(dir);
        return LockResult::kUnavailable;
      }
      if (!MakeOurLockFile(file)) {
        const DWORD error = GetLastError();
        *err = "cannot write " + path + ": " + SystemErrorText(error);
        // One this run made holds nothing of anyone's.
        if (!stale) {
          FILE_DISPOSITION_INFO dispose{TRUE};
          SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose);
        }
        return LockResult::kUnavailable;
      }
      handle_ = reinterpret_cast<std::intptr_t>(owned.release());
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
    // is being deleted; for longer, the directory refuses the file, or
    // what stands at the name is not a file this user may write.
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
