// The half of the interrupt service that both platforms share: the one
// slot of the emergency clean-up.
#include "platform/interrupts.h"

#include <functional>
#include <mutex>

namespace veilbox::platform {
namespace {

std::mutex& CleanupMutex() {
  static std::mutex m;
  return m;
}
std::function<void()>& Cleanup() {
  static std::function<void()> f;
  return f;
}

}  // namespace

EmergencyCleanup::EmergencyCleanup(std::function<void()> cleanup) {
  std::lock_guard<std::mutex> lock(CleanupMutex());
  Cleanup() = std::move(cleanup);
}

EmergencyCleanup::~EmergencyCleanup() {
  {
    std::lock_guard<std::mutex> lock(CleanupMutex());
    Cleanup() = nullptr;
  }
  detail::NoteCleanedUp();
}

void RunEmergencyCleanup() {
  std::function<void()> cleanup;
  {
    std::lock_guard<std::mutex> lock(CleanupMutex());
    cleanup.swap(Cleanup());
  }
  RequestInterrupt(kInterruptSessionEnd);
  if (cleanup) cleanup();
  detail::NoteCleanedUp();
}

}  // namespace veilbox::platform
