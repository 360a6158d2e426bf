#include <windows.h>

#include "platform/program_args.h"
#include "sysutil/param_str.h"

namespace veilbox::platform {

std::vector<std::string> ProgramParams(int, char**) { return SplitParams(GetCommandLineA()); }

}  // namespace veilbox::platform
