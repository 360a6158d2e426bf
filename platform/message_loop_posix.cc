#include "platform/message_loop.h"
#include "standin/message_queue.h"

namespace veilbox::platform {

void ProcessPendingMessages() {
  while (standin::DispatchQueuedMessage()) {
  }
}

}  // namespace veilbox::platform
