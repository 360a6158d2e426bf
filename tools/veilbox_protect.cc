// veilbox-protect: writes and checks ProtectedFiles (see protect/protect_tool.h)
// and shows the plan of a compile (see app/run_plan.h).
#include <iostream>
#include <string>
#include <vector>

#include "app/run_plan.h"
#include "protect/protect_tool.h"
#include "sysutil/version.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--version") {
    std::cout << "veilbox-protect " << veilbox::VersionText() << "\n";
    return 0;
  }
  if (!args.empty() && args[0] == "plan") {
    return veilbox::RunPlanCommand({args.begin() + 1, args.end()}, std::cout);
  }
  return veilbox::RunProtectTool(args, std::cout, std::cerr);
}
