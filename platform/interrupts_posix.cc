// Signals are caught by handlers that only do what is safe there: note the
// first signal, pass it on to the child that runs, and wake a waiter
// through a pipe of our own.
//
// Every signal whose default action ends the process is a soft end, except
// those a fault raises (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS,
// SIGABRT): returning from their handler would only repeat the fault.
// SIGKILL and SIGSTOP cannot be caught at all.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/interrupts.h"

namespace veilbox::platform {
namespace {

// The soft ends: SIGINT, SIGTERM and SIGHUP, and every other signal that
// would end the process unasked.
const std::vector<int>& SoftEndSignals() {
  static const std::vector<int> signals = [] {
    std::vector<int> list = {
        SIGINT,    SIGTERM, SIGHUP,  SIGQUIT, SIGUSR1,   SIGUSR2,
        SIGALRM,   SIGPIPE, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF,
#ifdef SIGPOLL
        SIGPOLL,
#endif
#ifdef SIGSTKFLT
        SIGSTKFLT,
#endif
#ifdef SIGPWR
        SIGPWR,
#endif
    };
#ifdef SIGRTMIN
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) list.push_back(s);
#endif
    return list;
  }();
  return signals;
}

// Process-wide by nature: a signal handler has nowhere else to look.
volatile sig_atomic_t g_pending = 0;
bool g_catching = false;
volatile sig_atomic_t g_forward_pid = 0;
int g_wake_read = -1;
volatile sig_atomic_t g_wake_write = -1;
std::array<struct sigaction, NSIG> g_old;

void Wake() {
  int fd = g_wake_write;
  if (fd >= 0) {
    char byte = 1;
    ssize_t ignored = write(fd, &byte, 1);  // a full pipe already wakes
    (void)ignored;
  }
}

void OnSignal(int signal) {
  int saved_errno = errno;
  if (g_pending == 0) g_pending = signal;
  pid_t child = g_forward_pid;
  if (child > 0) kill(child, signal);
  Wake();
  errno = saved_errno;
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
  g_pending = 0;
  g_catching = true;
  int fds[2];
  if (pipe(fds) == 0) {
    for (int fd : fds) {
      fcntl(fd, F_SETFD, FD_CLOEXEC);
      fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    g_wake_read = fds[0];
    g_wake_write = fds[1];
  }
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int s : SoftEndSignals()) sigaddset(&action.sa_mask, s);
  action.sa_flags = SA_RESTART;
  for (int s : SoftEndSignals()) {
    // A signal the caller chose to ignore (nohup) stays ignored.
    sigaction(s, nullptr, &g_old[s]);
    if (g_old[s].sa_handler != SIG_IGN) sigaction(s, &action, nullptr);
  }
}

InterruptCatcher::~InterruptCatcher() {
  for (int s : SoftEndSignals()) sigaction(s, &g_old[s], nullptr);
  int write_fd = g_wake_write;
  g_wake_write = -1;
  if (write_fd >= 0) close(write_fd);
  if (g_wake_read >= 0) close(g_wake_read);
  g_wake_read = -1;
  g_pending = 0;
  g_catching = false;
}

bool CatchingInterrupts() { return g_catching; }

int PendingInterrupt() { return g_pending; }

bool WaitForInterrupt(int timeout_ms) {
  if (g_pending != 0) return true;
  if (g_wake_read < 0) {
    poll(nullptr, 0, timeout_ms);  // nothing is caught: just let the time pass
    return g_pending != 0;
  }
  pollfd p{g_wake_read, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) > 0) {
    char drain[64];
    while (read(g_wake_read, drain, sizeof drain) > 0) {
    }
  }
  return g_pending != 0;
}

InterruptForwarding::InterruptForwarding(std::uint32_t child_pid) {
  g_forward_pid = static_cast<sig_atomic_t>(child_pid);
  // A soft end that came just before the child started is its too.
  if (int pending = g_pending; pending > 0 && pending < kInterruptCloseRequest)
    kill(static_cast<pid_t>(child_pid), pending);
}

InterruptForwarding::~InterruptForwarding() { g_forward_pid = 0; }

void RequestInterrupt(int code) {
  if (g_pending == 0) g_pending = code;
  Wake();
}

// Nothing waits for the clean-up: a signal's end comes back to the run.
void detail::NoteCleanedUp() {}

void EndByInterrupt(int interrupt, int windows_exit_code) {
  if (interrupt > 0 && interrupt < kInterruptCloseRequest) {
    signal(interrupt, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, interrupt);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(interrupt);
    _exit(128 + interrupt);  // the signal was ignored by default: end anyway
  }
  std::exit(windows_exit_code);
}

}  // namespace veilbox::platform
