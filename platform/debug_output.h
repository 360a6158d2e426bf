// Text for whoever watches the program run: the debugger output on Windows
// (OutputDebugStringA), standard error in the POSIX stand-in. An error
// that is built and neither shown nor passed on goes here, as one line.
#pragma once

#include <string>

namespace veilbox::platform {

// Sends text and a line end. Never fails and never throws: when nothing
// listens, the text is lost.
void DebugOutput(const std::string& text);

}  // namespace veilbox::platform
