#include <windows.h>

#include "platform/debug_output.h"

namespace veilbox::platform {

void DebugOutput(const std::string& text) {
  std::string line = text;
  line += '\n';
  OutputDebugStringA(line.c_str());
}

}  // namespace veilbox::platform
