#include <windows.h>

#include "platform/child_process.h"
#include "text/command_line_split.h"

namespace veilbox::platform {

void ChildProcess::ReleaseHandle() {
  if (handle_) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = 0;
}

bool ChildProcess::Start(const std::vector<std::string>& argv, std::uint32_t* error) {
  if (started_ || argv.empty()) {
    *error = ERROR_INVALID_PARAMETER;
    return false;
  }
  std::string line = text::JoinCommandLine(argv);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(argv[0].c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    *error = GetLastError();
    return false;
  }
  CloseHandle(info.hThread);
  handle_ = reinterpret_cast<std::intptr_t>(info.hProcess);
  pid_ = info.dwProcessId;
  started_ = true;
  return true;
}

bool ChildProcess::Wait(int timeout_ms, std::uint32_t* exit_code) {
  if (!started_) return false;
  if (!ended_) {
    HANDLE process = reinterpret_cast<HANDLE>(handle_);
    DWORD wait = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
    if (WaitForSingleObject(process, wait) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    exit_code_ = code;
    ended_ = true;
  }
  *exit_code = exit_code_;
  return true;
}

void ChildProcess::Kill() {
  if (running()) TerminateProcess(reinterpret_cast<HANDLE>(handle_), 137);
}

}  // namespace veilbox::platform
