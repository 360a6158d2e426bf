// A system error code in words, for the messages that report one.
#pragma once

#include <cstdint>
#include <string>

namespace veilbox::platform {

// The system's text for a Windows error code with the number after it,
// e.g. "The system cannot find the file specified. (2)": FormatMessageA on
// Windows, strerror of the matching errno natively. "error N" when the
// system has no text for the code.
std::string SystemErrorText(std::uint32_t code);

}  // namespace veilbox::platform
