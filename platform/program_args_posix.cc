#include "platform/program_args.h"

namespace veilbox::platform {

std::vector<std::string> ProgramParams(int argc, char** argv) {
  std::vector<std::string> params;
  for (int i = 1; i < argc; ++i) params.emplace_back(argv[i]);
  return params;
}

}  // namespace veilbox::platform
