// Windows soft ends. Console control events arrive on a thread of their
// own; the end of the session and close requests arrive as window messages
// on the run's own thread, through the hooks the window code calls.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "platform/interrupts.h"

namespace veilbox::platform {
namespace {

// Process-wide by nature: the console calls its handler on a thread of its
// own with nothing but the event.
std::atomic<int> g_pending{0};
std::atomic<bool> g_catching{false};
HANDLE g_wake = nullptr;     // manual-reset event: a soft end arrived
HANDLE g_cleaned = nullptr;  // manual-reset event: the run has cleaned up

void Record(int code) {
  int none = 0;
  g_pending.compare_exchange_strong(none, code);
  if (g_wake) SetEvent(g_wake);
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  Record(kInterruptConsole);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // The process ends when this returns: give the run the time Windows
    // allows to notice the event and clean up.
    if (g_cleaned) WaitForSingleObject(g_cleaned, 4500);
  }
  return TRUE;
}

}  // namespace

InterruptCatcher::InterruptCatcher() {
  g_pending = 0;
  g_catching = true;
  if (!g_wake) g_wake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!g_cleaned) g_cleaned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (g_wake) ResetEvent(g_wake);
  if (g_cleaned) ResetEvent(g_cleaned);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

InterruptCatcher::~InterruptCatcher() {
  if (g_cleaned) SetEvent(g_cleaned);
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
  g_pending = 0;
  g_catching = false;
  // The handles stay: a console handler thread may still be waiting on
  // them; the process ends soon after.
}

bool CatchingInterrupts() { return g_catching; }

int PendingInterrupt() { return g_pending.load(); }

bool WaitForInterrupt(int timeout_ms) {
  if (g_pending.load() != 0) return true;
  DWORD wait = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
  if (g_wake)
    WaitForSingleObject(g_wake, wait);
  else
    Sleep(wait);  // nothing is caught: just let the time pass
  return g_pending.load() != 0;
}

InterruptForwarding::InterruptForwarding(std::uint32_t) {}
InterruptForwarding::~InterruptForwarding() {}

void RequestInterrupt(int code) { Record(code); }

// The console handler waits for this before Windows ends the process.
void detail::NoteCleanedUp() {
  if (g_cleaned) SetEvent(g_cleaned);
}

void EndByInterrupt(int, int windows_exit_code) {
  ExitProcess(static_cast<UINT>(windows_exit_code));
}

}  // namespace veilbox::platform
