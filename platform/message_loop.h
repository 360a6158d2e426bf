// The thread's window message queue, as far as code outside the main
// window needs it.
#pragma once

namespace veilbox::platform {

// Dispatches every message waiting in the thread's queue and returns when
// it is empty; returns at once when nothing is waiting. The handlers of
// those messages run inside this call: a caller in the middle of a compile
// run (the wait for the compiler, the wait for a lock) is re-entered from
// the main window, which starts no second run.
void ProcessPendingMessages();

}  // namespace veilbox::platform
