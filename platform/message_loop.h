// The thread's window message queue, as far as code outside the main
// window needs it.
#pragma once

namespace veilbox::platform {

// Dispatches every message waiting in the thread's queue and returns when
// it is empty; returns at once when nothing is waiting.
void ProcessPendingMessages();

}  // namespace veilbox::platform
