// A program started without waiting for it: the tests drive helper
// programs with it, and a run that must learn its child's id can use it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veilbox::platform {

class ChildProcess {
 public:
  ChildProcess() = default;
  // Ends the program hard if it still runs, and waits for it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] with the arguments that follow; each argument reaches
  // the program unchanged (Windows: quoted by the runtime's rules).
  bool Start(const std::vector<std::string>& argv, std::uint32_t* error);

  bool running() const { return started_ && !ended_; }
  std::uint32_t pid() const { return pid_; }

  // Waits up to timeout_ms (-1: no limit) for the program to end; false
  // when it still runs. On success *exit_code is its exit code, or, for a
  // POSIX program ended by a signal, 128 plus the signal number.
  bool Wait(int timeout_ms, std::uint32_t* exit_code);
  // The signal that ended the program (POSIX), 0 when none.
  int term_signal() const { return term_signal_; }

  // Hard end: SIGKILL, TerminateProcess.
  void Kill();

 private:
  bool started_ = false;
  bool ended_ = false;
  std::uint32_t pid_ = 0;
  std::uint32_t exit_code_ = 0;
  int term_signal_ = 0;
  [[maybe_unused]] std::intptr_t handle_ = 0;  // Windows process handle

  // Closes the Windows process handle; nothing natively.
  void ReleaseHandle();
};

}  // namespace veilbox::platform
