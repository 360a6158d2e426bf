#include <windows.h>

#include "platform/param_str.h"
#include "platform/program_args.h"

namespace veilbox::platform {

std::vector<std::string> ProgramParams(int, char**) { return SplitParams(GetCommandLineA()); }

}  // namespace veilbox::platform
