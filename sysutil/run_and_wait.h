// Starting a program and waiting for it to end.
#pragma once

#include <string>

namespace veilbox {

// Starts a program and waits for it, keeping the program's windows served
// meanwhile: the wait dispatches this thread's window messages, so the
// main window's handlers run inside this call, on this thread (the compile
// run is then re-entered from its own window: see RunCompiler).
// The application name and the current directory may be empty: the
// program is then the first token of the command line, and it starts in
// the caller's directory. Returns the program's exit code unchanged (259
// included) with the success text in LastStatus, or -1 with "Unable to
// start Application " + the application name when it cannot be started.
// An exit code of 0xFFFFFFFF is also -1; only LastStatus tells the two
// apart. Texts of any length up to the system's limits are passed whole; a
// longer command line is a start failure.
int RunAndWait(const std::string& application, const std::string& command_line,
               const std::string& current_dir);

}  // namespace veilbox
