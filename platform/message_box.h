// Modal message boxes of the platform seam. On Windows each box's caption
// and text also go to the debugger output; the POSIX stand-in writes them
// to standard error as caption, ": ", text and a line end.
#pragma once

#include <string>

namespace veilbox::platform {

// OK button, no icon.
void ShowPlainMessage(const std::string& caption, const std::string& text);
// Caption "Error", error icon, OK button.
void ShowErrorDialog(const std::string& text);

}  // namespace veilbox::platform
