// The stand-in's standard error: one line for each message box and each
// debugger output, "CAPTION: TEXT".
#pragma once

#include <string>

namespace veilbox::platform {

// Writes caption, ": ", text and a line end; false when standard error
// cannot take it.
bool WriteStandardErrorLine(const std::string& caption, const std::string& text);

}  // namespace veilbox::platform
