#include <windows.h>

#include "platform/process_identity.h"

namespace veilbox::platform {
namespace {

std::uint64_t CreationTime(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

namespace {

ProcessIdentity ReadCurrentProcess() {
  ProcessIdentity me;
  me.pid = GetCurrentProcessId();
  me.start_time = CreationTime(GetCurrentProcess());
  return me;
}

}  // namespace

ProcessIdentity CurrentProcess() {
  static const ProcessIdentity me = ReadCurrentProcess();
  return me;
}

bool ProcessIsRunning(const ProcessIdentity& process) {
  if (process.pid == 0) return false;
  HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                              static_cast<DWORD>(process.pid));
  if (!handle) {
    // Only ERROR_INVALID_PARAMETER says there is no such process. Any other
    // failure (another user's process, no resources to open it) cannot tell,
    // and the caller keeps what that process may still use.
    return GetLastError() != ERROR_INVALID_PARAMETER;
  }
  // An ended process stays openable while handles to it remain.
  bool running = WaitForSingleObject(handle, 0) == WAIT_TIMEOUT;
  if (running && process.start_time != 0) {
    std::uint64_t created = CreationTime(handle);
    running = created == 0 || created == process.start_time;
  }
  CloseHandle(handle);
  return running;
}

}  // namespace veilbox::platform
