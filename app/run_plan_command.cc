#include <ostream>

#include "app/run_plan.h"

namespace veilbox {
namespace {

constexpr char kPlanUsage[] =
    "Usage: veilbox-protect plan [--json] [/I<file> | /O<file>] PROJECT [SWITCH...]\n"
    "Shows what a compile of PROJECT would decrypt on this machine, reading the\n"
    "same settings as the compile and walking its includes, without writing\n"
    "anything. Exit status: 0 when the compile would reach the compiler, 1 when\n"
    "Veilbox would end it with one of its own exit codes, 2 for a usage error.\n";

}  // namespace

int RunPlanCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool json = false;
  std::vector<std::string> run_args;
  for (const std::string& arg : args) {
    if (arg == "--json") {
      json = true;
    } else if (arg == "--help" || arg == "-h") {
      out << kPlanUsage;
      return 0;
    } else {
      run_args.push_back(arg);
    }
  }
  if (run_args.empty()) {
    err << "veilbox-protect plan: no project given\n" << kPlanUsage;
    return 2;
  }
  const RunPlan plan = MakeRunPlan(run_args);
  out << (json ? FormatRunPlanJson(plan) : FormatRunPlan(plan));
  return plan.end_code ? 1 : 0;
}

}  // namespace veilbox
