#include <windows.h>

#include "platform/program_args.h"
#include "text/param_str.h"

namespace veilbox::platform {

std::vector<std::string> ProgramParams(int, char**) { return text::SplitParams(GetCommandLineA()); }

}  // namespace veilbox::platform
