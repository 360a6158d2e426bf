// The program entry's work: settings start-up, the main window, the
// message loop, and the exit code of the run.
#pragma once

#include <string>
#include <vector>

namespace veilbox {

// Runs the program with its arguments 1 to n and returns the process's
// exit code. Every end of the run unwinds to here.
int RunProgram(std::vector<std::string> params);

}  // namespace veilbox
