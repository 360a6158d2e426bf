#include <windows.h>

#include <vector>

#include "platform/module.h"

namespace veilbox::platform {

std::string ModuleFileName() {
  std::vector<char> buffer(MAX_PATH);
  while (true) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace veilbox::platform
