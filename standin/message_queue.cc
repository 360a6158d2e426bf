#include "standin/message_queue.h"

#include <deque>
#include <utility>

namespace veilbox::standin {
namespace {

// The queue of the program's one thread.
std::deque<std::function<void()>>& Queue() {
  static std::deque<std::function<void()>> queue;
  return queue;
}

}  // namespace

void PostQueuedMessage(std::function<void()> deliver) { Queue().push_back(std::move(deliver)); }

bool DispatchQueuedMessage() {
  if (Queue().empty()) return false;
  std::function<void()> deliver = std::move(Queue().front());
  Queue().pop_front();
  deliver();
  return true;
}

}  // namespace veilbox::standin
