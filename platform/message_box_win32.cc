#include <windows.h>

#include "platform/debug_output.h"
#include "platform/message_box.h"

namespace veilbox::platform {
namespace {

void Trace(const std::string& caption, const std::string& text) {
  DebugOutput(caption + ": " + text);
}

}  // namespace

void ShowPlainMessage(const std::string& caption, const std::string& text) {
  Trace(caption, text);
  MessageBoxA(GetActiveWindow(), text.c_str(), caption.c_str(), MB_OK | MB_TASKMODAL);
}

void ShowErrorDialog(const std::string& text) {
  Trace("Error", text);
  MessageBoxA(GetActiveWindow(), text.c_str(), "Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace veilbox::platform
