// The compile run: from the registry settings and the command line to the
// compiler's exit code. A run that reaches the compiler returns its exit
// code; every other end raises RunEnded with the run's own exit code after
// its message, or RunInterrupted after a soft end.
#pragma once

#include <string>
#include <vector>

#include "app/run_ui.h"

namespace veilbox {

// The whole run, the handler of the start message. params are the
// program's arguments 1 to n. A run that reaches the compiler and cleans up
// after it returns the compiler's exit code; every other end raises
// RunEnded with its own code (or RunInterrupted), after its message.
// Errors that nothing else catches end the run with the default error box
// and 252, after the plain files written so far have been deleted.
int RunCompile(RunUi& ui, const std::vector<std::string>& params);

}  // namespace veilbox
