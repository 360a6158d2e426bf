// A message box of the stand-in is one line on standard error: caption,
// ": ", text and a line end. Nothing else is told when it cannot be written.
#include "platform/message_box.h"
#include "platform/stderr_line_posix.h"

namespace veilbox::platform {

void ShowPlainMessage(const std::string& caption, const std::string& text) {
  WriteStandardErrorLine(caption, text);
}

void ShowErrorDialog(const std::string& text) { WriteStandardErrorLine("Error", text); }

}  // namespace veilbox::platform
