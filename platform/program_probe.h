// Whether a program could be started, asked without starting it.
#pragma once

#include <string>

namespace veilbox::platform {

// Whether this user can start the program at name (a Windows path), with
// the directory dir entered first (empty: none). Windows: a PE image for
// this machine that the user may read and execute. POSIX stand-in: a
// regular file this user may execute, an ELF image or a script with an
// interpreter line, and a directory that can be entered.
bool CanStartProgram(const std::string& name, const std::string& dir);

}  // namespace veilbox::platform
