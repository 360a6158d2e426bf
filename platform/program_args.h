// The program's arguments 1 to n. Windows: the process's command line
// (GetCommandLineA) split by the runtime's rules (text/param_str.h);
// POSIX stand-in: argv[1] to argv[argc - 1] as they are.
#pragma once

#include <string>
#include <vector>

namespace veilbox::platform {

std::vector<std::string> ProgramParams(int argc, char** argv);

}  // namespace veilbox::platform
