// The run's answer to a soft end (see platform/interrupts.h): long work
// calls CheckInterrupt() between its steps, which unwinds the run with
// RunInterrupted when a soft end is pending. The program entry ends the
// process by it once every destructor of the run has run.
#pragma once

namespace veilbox {

// Unwinds the run to the program entry after a soft end, like RunEnded; the
// entry ends the process by it (platform::EndByInterrupt).
class RunInterrupted {
 public:
  explicit RunInterrupted(int interrupt) : interrupt_(interrupt) {}
  int interrupt() const { return interrupt_; }

 private:
  int interrupt_;
};

// Raises RunInterrupted when a soft end is pending; cheap enough to call
// for every line of a file.
void CheckInterrupt();

}  // namespace veilbox
