#include <windows.h>

#include "platform/code_page.h"

namespace veilbox::platform {

std::string OemToAnsiText(std::string_view text) {
  std::string result(text);
  if (!result.empty())
    OemToCharBuffA(result.data(), result.data(), static_cast<DWORD>(result.size()));
  return result;
}

}  // namespace veilbox::platform
