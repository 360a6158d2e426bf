#include <windows.h>

#include <vector>

#include "platform/message_loop.h"
#include "platform/process.h"

namespace veilbox::platform {
namespace {

// Closes the handle when it goes out of scope.
class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// True when a WM_QUIT waits in the queue: it wakes every message wait at
// once, so from then on only the process is waited for.
bool QuitPending() {
  MSG msg;
  return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

}  // namespace

bool detail::StartProcessAndWait(const std::string& application, const std::string& command_line,
                                 const std::string& current_dir, std::uint32_t* exit_code,
                                 std::uint32_t* error) {
  // CreateProcessA may write into the command line: it gets its own copy.
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');

  // The size follows the build: 68 bytes in the 32-bit program.
  static_assert(sizeof(void*) != 4 || sizeof(STARTUPINFOA) == 68);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(application.empty() ? nullptr : application.c_str(),
                      command_line.empty() ? nullptr : line.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, current_dir.empty() ? nullptr : current_dir.c_str(), &startup,
                      &info)) {
    *error = GetLastError();
    return false;
  }
  Handle process(info.hProcess);
  Handle thread(info.hThread);

  // Keeps the program's windows served while the child runs, without
  // keeping a processor busy: wake for the child's end or for new messages.
  bool serve_messages = true;
  for (;;) {
    if (serve_messages) {
      ProcessPendingMessages();
      serve_messages = !QuitPending();
    }
    HANDLE h = process.get();
    const DWORD r = serve_messages ? MsgWaitForMultipleObjects(1, &h, FALSE, INFINITE, QS_ALLINPUT)
                                   : WaitForSingleObject(h, INFINITE);
    if (r == WAIT_OBJECT_0) break;
    if (r == WAIT_FAILED) {
      *error = GetLastError();
      return false;
    }
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) {
    *error = GetLastError();
    return false;
  }
  *exit_code = code;
  return true;
}

}  // namespace veilbox::platform
