#include "platform/code_page.h"

namespace veilbox::platform {

std::string OemToAnsiText(std::string_view text) { return std::string(text); }

}  // namespace veilbox::platform
