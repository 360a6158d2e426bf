// veilbox-protect: writes and checks ProtectedFiles (see protect/protect_tool.h)
// and shows the plan of a compile (see app/run_plan.h).
#include <iostream>
#include <string>
#include <vector>

#include "app/run_plan.h"
#include "platform/program_args.h"
#include "protect/protect_tool.h"
#include "sysutil/version.h"

int main(int argc, char** argv) {
  // Split as the compile splits its own command line, so that `plan` sees
  // the arguments the run would see: on Windows a quoted stretch is taken
  // whole and a backslash before a quote is only a backslash.
  const std::vector<std::string> args = veilbox::platform::ProgramParams(argc, argv);
  if (args.size() == 1 && args[0] == "--version") {
    std::cout << "veilbox-protect " << veilbox::VersionText() << "\n";
    return 0;
  }
  if (!args.empty() && args[0] == "plan") {
    return veilbox::RunPlanCommand({args.begin() + 1, args.end()}, std::cout);
  }
  return veilbox::RunProtectTool(args, std::cout, std::cerr);
}
