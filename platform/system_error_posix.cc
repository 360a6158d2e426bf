#include <cstring>

#include "platform/system_error.h"
#include "standin/posix_errors.h"

namespace veilbox::platform {

std::string SystemErrorText(std::uint32_t code) {
  const int err = standin::ErrnoFromWindowsError(code);
  if (err == 0) return "error " + std::to_string(code);
  return std::string(std::strerror(err)) + " (" + std::to_string(code) + ")";
}

}  // namespace veilbox::platform
