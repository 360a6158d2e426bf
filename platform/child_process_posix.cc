#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <cerrno>

#include "platform/child_process.h"

extern char** environ;

namespace veilbox::platform {

void ChildProcess::ReleaseHandle() {}

bool ChildProcess::Start(const std::vector<std::string>& argv, std::uint32_t* error) {
  if (started_ || argv.empty()) {
    *error = 87;  // ERROR_INVALID_PARAMETER
    return false;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // The child starts with the soft-end signals at their defaults and none
  // of them blocked, whatever this process does with them.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults, none;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGHUP);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, args[0], nullptr, &attr, args.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    *error = rc == ENOENT ? 2 : 5;
    return false;
  }
  started_ = true;
  pid_ = static_cast<std::uint32_t>(pid);
  return true;
}

bool ChildProcess::Wait(int timeout_ms, std::uint32_t* exit_code) {
  if (!started_) return false;
  for (int waited = 0; !ended_;) {
    int status = 0;
    pid_t got = waitpid(static_cast<pid_t>(pid_), &status, WNOHANG);
    if (got == static_cast<pid_t>(pid_)) {
      ended_ = true;
      if (WIFSIGNALED(status)) {
        term_signal_ = WTERMSIG(status);
        exit_code_ = 128 + static_cast<std::uint32_t>(term_signal_);
      } else {
        exit_code_ = static_cast<std::uint32_t>(WEXITSTATUS(status));
      }
      break;
    }
    if (got < 0 && errno != EINTR) return false;
    if (timeout_ms >= 0 && waited >= timeout_ms) return false;
    timespec pause{0, 5 * 1000 * 1000};
    nanosleep(&pause, nullptr);
    waited += 5;
  }
  *exit_code = exit_code_;
  return true;
}

void ChildProcess::Kill() {
  if (running()) kill(static_cast<pid_t>(pid_), SIGKILL);
}

}  // namespace veilbox::platform
