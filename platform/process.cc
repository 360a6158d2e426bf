// The half of the process service that both platforms share: the checks
// of the command line before a program is started.
#include "platform/process.h"

#include "platform/files.h"

namespace veilbox::platform {
namespace {

// CreateProcess takes at most 32,767 characters with the closing zero.
constexpr std::size_t kMaxCommandLine = 32766;

}  // namespace

bool RunProcessAndWait(const std::string& application, const std::string& command_line,
                       const std::string& current_dir, std::uint32_t* exit_code,
                       std::uint32_t* error) {
  std::uint32_t ignored;
  if (!error) error = &ignored;
  if (command_line.size() > kMaxCommandLine) {
    *error = kErrorFilenameTooLong;  // ERROR_FILENAME_EXCED_RANGE
    return false;
  }
  return detail::StartProcessAndWait(application, command_line, current_dir, exit_code, error);
}

}  // namespace veilbox::platform
