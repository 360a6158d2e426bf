// The running program's own file: GetModuleFileNameA of the program, or
// /proc/self/exe in the POSIX stand-in. Empty when it cannot be found.
#pragma once

#include <string>

namespace veilbox::platform {

std::string ModuleFileName();

}  // namespace veilbox::platform
