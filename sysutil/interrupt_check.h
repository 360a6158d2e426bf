// The run's answer to a soft end (see platform/interrupts.h): long work
// calls CheckInterrupt() between its steps, which unwinds the run with
// RunInterrupted (sysutil/errors.h) when a soft end is pending.
#pragma once

#include "sysutil/errors.h"

namespace veilbox {

// Raises RunInterrupted when a soft end is pending; cheap enough to call
// for every line of a file.
void CheckInterrupt();

}  // namespace veilbox
