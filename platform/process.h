// Process service of the platform seam.
#pragma once

#include <cstdint>
#include <string>

namespace veilbox::platform {

// Starts a program the way CreateProcessA does and waits for it to end,
// dispatching the program's pending window messages while it waits and
// keeping no processor busy. `application` and `current_dir` may be empty
// (not passed); the command line follows the Windows rules
// (command_line_split.h) and may be up to 32,766 characters long. Returns
// false, with the Windows error code, when the program cannot be started
// (a longer command line included); otherwise true with its exit code,
// whatever it is (259 included). In the POSIX stand-in a program killed by
// a signal ends with 128 + the signal number.
bool RunProcessAndWait(const std::string& application, const std::string& command_line,
                       const std::string& current_dir, std::uint32_t* exit_code,
                       std::uint32_t* error);

namespace detail {
// Each platform's half of RunProcessAndWait, after the shared checks
// (process.cc); error is never null.
bool StartProcessAndWait(const std::string& application, const std::string& command_line,
                         const std::string& current_dir, std::uint32_t* exit_code,
                         std::uint32_t* error);
}  // namespace detail

}  // namespace veilbox::platform
