// Starting Citect's real compiler with the run's own arguments and waiting
// for it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veilbox {

// The compiler's command line: the program name, quoted when it holds a
// blank, then each argument, quoted by the Windows rules where it must be
// to reach the compiler unchanged, and followed by one blank.
std::string CompilerCommandLine(const std::string& bin, const std::string& attach_name,
                                const std::vector<std::string>& params);

// Runs attach_name in bin with params, bin as its current directory, and
// gives its exit code; nothing when it could not be started, and then the
// command line and the system's error go to the debugger output. While it
// runs, the window messages that arrive are dispatched: the main window's
// handlers can run inside this call, on the same thread (the window is
// hidden by then, and a second start message does not start a second run).
std::optional<int> RunCompiler(const std::string& bin, const std::string& attach_name,
                               const std::vector<std::string>& params);

}  // namespace veilbox
