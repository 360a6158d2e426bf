// The POSIX stand-in's thread message queue: what the main window posts
// and what the message loop and ProcessPendingMessages dispatch.
#pragma once

#include <functional>

namespace veilbox::standin {

// Appends a message; its delivery is the function.
void PostQueuedMessage(std::function<void()> deliver);
// Delivers the oldest waiting message; false when none is waiting.
bool DispatchQueuedMessage();

}  // namespace veilbox::standin
