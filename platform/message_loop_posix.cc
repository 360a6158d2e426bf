#include "platform/message_loop.h"

namespace veilbox::platform {

// The stand-in's queue is filled and drained by the main window; until a
// window exists there is nothing to dispatch.
void ProcessPendingMessages() {}

}  // namespace veilbox::platform
