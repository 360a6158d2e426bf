// The per-user directory where the program keeps what must outlive a run
// (its run journals): the local application data folder with "Veilbox"
// below it on Windows, the prefix directory in the POSIX stand-in.
#pragma once

#include <string>

namespace veilbox::platform {

// The directory, created when missing; false with a reason when it can be
// neither found nor created.
bool UserDataDir(std::string* dir, std::string* err);

}  // namespace veilbox::platform
