// POSIX stand-in for starting a program and waiting for it.
//
// The command line is split by the Windows rules; the program is the
// application name when one is given, else the first argument, mapped
// through NativePath and, without a slash, searched in PATH. A relative
// program name is taken from the caller's directory, as Windows does,
// before the child changes to its own. The child inherits the caller's
// environment and standard handles.
//
// A program that cannot be started (missing, not executable, a directory
// that cannot be entered) is a start failure: the child reports the
// failing step through a close-on-exec pipe before it exits.
//
// A child killed by a signal gives the exit code 128 + the signal number,
// as the shells report it.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>

#include "platform/files.h"
#include "platform/interrupts.h"
#include "platform/message_loop.h"
#include "platform/process.h"
#include "standin/posix_errors.h"
#include "text/command_line_split.h"

extern char** environ;

namespace veilbox::platform {
namespace {

constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorBadExeFormat = 193;
constexpr std::uint32_t kErrorDirectory = 267;

// What the child sends back when it cannot become the program.
struct StartFailure {
  int step;  // 1: changing the directory, 2: exec
  int err;
};

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The program's file: a name with a slash as it is (made absolute), a bare
// name searched in PATH. Empty when a bare name is found nowhere.
std::string ProgramFile(const std::string& program) {
  if (program.find('/') != std::string::npos) {
    if (program[0] == '/') return program;
    char* cwd = ::getcwd(nullptr, 0);
    if (!cwd) return program;
    std::string absolute = std::string(cwd) + "/" + program;
    std::free(cwd);
    return absolute;
  }
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t pos = 0;
  while (pos <= dirs.size()) {
    std::size_t end = dirs.find(':', pos);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(pos, end - pos);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
    if (IsExecutableFile(candidate)) return candidate;
    pos = end + 1;
  }
  return {};
}

std::uint32_t StartError(const StartFailure& failure, const std::string& file) {
  if (failure.step == 1)
    return (failure.err == ENOENT || failure.err == ENOTDIR)
               ? kErrorDirectory
               : standin::WindowsErrorFromErrno(failure.err);
  if (failure.err == ENOEXEC) return kErrorBadExeFormat;
  return standin::WindowsErrorForPath(failure.err, file);
}

// Closes the descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

}  // namespace

bool detail::StartProcessAndWait(const std::string& application, const std::string& command_line,
                                 const std::string& current_dir, std::uint32_t* exit_code,
                                 std::uint32_t* error) {
  std::vector<std::string> args = text::SplitCommandLine(command_line);
  if (args.empty()) {
    if (application.empty()) {
      *error = kErrorInvalidParameter;
      return false;
    }
    args.push_back(application);
  }
  const std::string program = application.empty() ? args[0] : application;
  if (program.empty()) {
    *error = kErrorFileNotFound;
    return false;
  }
  const std::string file = ProgramFile(NativePath(program));
  if (file.empty()) {
    *error = kErrorFileNotFound;
    return false;
  }
  const std::string dir = current_dir.empty() ? std::string() : NativePath(current_dir);

  // Everything the child needs is ready before the fork: between fork and
  // exec it only calls chdir, execve, write and _exit.
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    *error = standin::WindowsErrorFromErrno(errno);
    return false;
  }
  Fd read_end(fds[0]);
  Fd write_end(fds[1]);

  // The soft ends (interrupts.h) wait over the fork: the child must not
  // run this process's handlers, and from here until the child has ended
  // every soft end that reaches this process is passed on to it.
  sigset_t soft_ends, mask;
  sigemptyset(&soft_ends);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&soft_ends, s);
  ::pthread_sigmask(SIG_BLOCK, &soft_ends, &mask);
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::pthread_sigmask(SIG_SETMASK, &mask, nullptr);
    *error = standin::WindowsErrorFromErrno(errno);
    return false;
  }
  if (pid == 0) {
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction action {};
      ::sigaction(s, nullptr, &action);
      if (action.sa_handler != SIG_IGN) {
        action.sa_handler = SIG_DFL;
        ::sigaction(s, &action, nullptr);
      }
    }
    ::pthread_sigmask(SIG_SETMASK, &mask, nullptr);
    StartFailure failure{1, 0};
    if (dir.empty() || ::chdir(dir.c_str()) == 0) {
      failure.step = 2;
      ::execve(file.c_str(), argv.data(), environ);
    }
    failure.err = errno;
    [[maybe_unused]] ssize_t n = ::write(write_end.get(), &failure, sizeof(failure));
    ::_exit(127);
  }
  std::optional<InterruptForwarding> forwarding;
  forwarding.emplace(static_cast<std::uint32_t>(pid));
  ::pthread_sigmask(SIG_SETMASK, &mask, nullptr);
  write_end.Close();

  StartFailure failure{};
  ssize_t got;
  do {
    got = ::read(read_end.get(), &failure, sizeof(failure));
  } while (got < 0 && errno == EINTR);

  int status = 0;
  for (;;) {
    // Nothing but this thread fills the stand-in's queue, so what waits now
    // is all there is until the child ends: dispatch it, then block.
    if (got != static_cast<ssize_t>(sizeof(failure))) ProcessPendingMessages();
    // Wait without reaping first: once reaped, the child's id is free for
    // another process, which must not get what is passed on.
    siginfo_t info{};
    if (::waitid(P_PID, pid, &info, WEXITED | WNOWAIT) == 0) {
      forwarding.reset();
      if (::waitpid(pid, &status, 0) == pid) break;
    }
    if (errno != EINTR) {
      *error = standin::WindowsErrorFromErrno(errno);
      return false;
    }
  }
  if (got == static_cast<ssize_t>(sizeof(failure))) {
    *error = StartError(failure, file);
    return false;
  }
  if (WIFEXITED(status)) {
    *exit_code = static_cast<std::uint32_t>(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    *exit_code = 128u + static_cast<std::uint32_t>(WTERMSIG(status));
  } else {
    *exit_code = static_cast<std::uint32_t>(status);
  }
  return true;
}

}  // namespace veilbox::platform
