// Conversion of texts from the OEM to the ANSI character set
// (OemToCharBuffA); the POSIX stand-in has one character set and keeps the
// text as it is.
#pragma once

#include <string>
#include <string_view>

namespace veilbox::platform {

std::string OemToAnsiText(std::string_view text);

}  // namespace veilbox::platform
