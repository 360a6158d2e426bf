// Soft ends of the run: a request from outside to stop that still leaves
// time to clean up. POSIX: every signal whose default action ends the
// process and that no fault raises (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGXCPU, SIGXFSZ, SIGVTALRM,
// SIGPROF, the real-time signals, ...). Windows: console control events
// and the end of the user's session, which the window code reports
// through the hooks below. (A close request for the main window is none:
// it never changes a run's outcome, see platform/window.h.)
//
// The run catches them for its whole length (InterruptCatcher), passes them
// on to the compiler while it runs (InterruptForwarding), looks at
// PendingInterrupt() at its checkpoints, cleans up, unwinds to the program
// entry and ends there with EndByInterrupt().
#pragma once

#include <cstdint>
#include <functional>

namespace veilbox::platform {

// Codes of the soft ends that are not POSIX signals (the Windows window
// and console events). On POSIX, PendingInterrupt() returns the signal.
inline constexpr int kInterruptCloseRequest = 1000;
inline constexpr int kInterruptSessionEnd = 1001;
inline constexpr int kInterruptConsole = 1002;

// Catches the soft ends while it lives and restores the former handling
// afterwards. One at a time per process. A POSIX signal that the process
// was started with ignored (nohup) stays ignored.
class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;
};

// The first soft end that arrived while an InterruptCatcher lives, 0 when
// none; back to 0 when the catcher goes.
int PendingInterrupt();

// True while an InterruptCatcher lives, that is while a run is in
// progress.
bool CatchingInterrupts();

// Waits up to timeout_ms for a soft end; true when one is pending.
bool WaitForInterrupt(int timeout_ms);

// While it lives, every soft end that arrives is also sent to the given
// child process (POSIX: the same signal, sent from the signal handler; a
// soft end already pending is sent at once). Windows: nothing to do, the
// console and the session deliver their events to every process
// themselves.
class InterruptForwarding {
 public:
  explicit InterruptForwarding(std::uint32_t child_pid);
  ~InterruptForwarding();
  InterruptForwarding(const InterruptForwarding&) = delete;
  InterruptForwarding& operator=(const InterruptForwarding&) = delete;
};

// Records a soft end with this code, as if it had arrived from outside.
void RequestInterrupt(int code);

// Clean-up that must be done before the process may end on an end it
// cannot unwind from: the end of the session (WM_ENDSESSION with TRUE, a
// console close, logoff or shutdown event), after which Windows ends the
// process without returning to the run. The run registers it for its
// length; RunEmergencyCleanup() runs it at most once.
class EmergencyCleanup {
 public:
  explicit EmergencyCleanup(std::function<void()> cleanup);
  ~EmergencyCleanup();
  EmergencyCleanup(const EmergencyCleanup&) = delete;
  EmergencyCleanup& operator=(const EmergencyCleanup&) = delete;
};

// Runs the registered clean-up once (nothing when none is registered or it
// already ran) and records kInterruptSessionEnd. The window code calls it
// from WM_ENDSESSION when the session ends.
void RunEmergencyCleanup();

// Ends the process by the soft end that stopped it: POSIX restores the
// signal's default action and raises it again, so the parent sees the
// same signal; Windows ends with the given exit code. Called at the
// program entry, after every destructor of the run has run.
[[noreturn]] void EndByInterrupt(int interrupt, int windows_exit_code);

namespace detail {
// Each platform's half: told when the clean-up slot has been emptied,
// because the clean-up ran or the run no longer needs it (interrupts.cc).
void NoteCleanedUp();
}  // namespace detail

}  // namespace veilbox::platform
