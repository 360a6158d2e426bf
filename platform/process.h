// Process service of the platform seam.
#pragma once

#include <cstdint>
#include <string>

namespace veilbox::platform {

// Starts a program the way CreateProcessA does and waits for it to end,
// dispatching the program's pending window messages while it waits.
// `application` and `current_dir` may be empty (not passed); the command
// line follows the Windows rules. Returns false, with the Windows error
// code, when the program cannot be started (texts beyond the platform's
// limits included); otherwise true with its exit code.
bool RunProcessAndWait(const std::string& application, const std::string& command_line,
                       const std::string& current_dir, std::uint32_t* exit_code,
                       std::uint32_t* error);

}  // namespace veilbox::platform
