#include <windows.h>
// needs the declarations of windows.h
#include <sddl.h>

#include "platform/lock_wait.h"
#include "platform/message_loop.h"
#include "platform/run_lock.h"
#include "platform/system_error.h"

namespace veilbox::platform {
namespace {

// Every signed-in user may wait for and release the mutex; SYSTEM and the
// administrators have full access.
constexpr char kMutexSecurity[] = "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;AU)";
constexpr DWORD kMutexAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

HANDLE OpenRunMutex(std::string* err) {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorA(kMutexSecurity, SDDL_REVISION_1,
                                                           &descriptor, nullptr))
    attributes.lpSecurityDescriptor = descriptor;
  HANDLE mutex = CreateMutexExA(&attributes, "Global\\VeilboxCompileRun", 0, kMutexAccess);
  if (!mutex) mutex = CreateMutexExA(&attributes, "Local\\VeilboxCompileRun", 0, kMutexAccess);
  if (!mutex) *err = "cannot create the run mutex: " + SystemErrorText(GetLastError());
  if (descriptor) LocalFree(descriptor);
  return mutex;
}

}  // namespace

RunLock::~RunLock() { Release(); }

LockResult RunLock::Acquire(int timeout_ms, std::string* err) {
  if (held_) return LockResult::kAcquired;
  HANDLE mutex = OpenRunMutex(err);
  if (!mutex) return LockResult::kUnavailable;
  LockWait wait(timeout_ms);
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &mutex, FALSE, static_cast<DWORD>(wait.NextSliceMs()),
                                        QS_ALLINPUT);
    if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED_0) {
      handle_ = reinterpret_cast<std::intptr_t>(mutex);
      held_ = true;
      dead_holder_ = 0;
      return r == WAIT_ABANDONED_0 ? LockResult::kTakenOver : LockResult::kAcquired;
    }
    if (r == WAIT_OBJECT_0 + 1) {
      ProcessPendingMessages();
    } else if (r == WAIT_FAILED) {
      *err = "cannot wait for the run mutex: " + SystemErrorText(GetLastError());
      CloseHandle(mutex);
      return LockResult::kUnavailable;
    }
    if (auto verdict = wait.Verdict()) {
      CloseHandle(mutex);
      return *verdict;
    }
  }
}

void RunLock::Release() {
  if (!held_) return;
  HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  handle_ = -1;
  held_ = false;
}

}  // namespace veilbox::platform
