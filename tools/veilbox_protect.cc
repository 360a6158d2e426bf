// veilbox-protect: writes and checks ProtectedFiles (see protect/protect_tool.h).
#include <iostream>
#include <string>
#include <vector>

#include "protect/protect_tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return veilbox::RunProtectTool(args, std::cout, std::cerr);
}
