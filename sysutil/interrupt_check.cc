#include "sysutil/interrupt_check.h"

#include "platform/interrupts.h"

namespace veilbox {

void CheckInterrupt() {
  if (const int interrupt = platform::PendingInterrupt(); interrupt != 0)
    throw RunInterrupted(interrupt);
}

}  // namespace veilbox
