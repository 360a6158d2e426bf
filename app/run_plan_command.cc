#include <cstddef>
#include <ostream>

#include "app/run_plan.h"

namespace veilbox {
namespace {

constexpr char kPlanUsage[] =
    "Usage: veilbox-protect plan [--json] [--] [/I<file> | /O<file>] PROJECT [SWITCH...]\n"
    "Shows what a compile of PROJECT would decrypt on this machine, reading the\n"
    "same settings as the compile and walking its includes, without writing\n"
    "anything. Options are taken only before the compile's arguments; from the\n"
    "first other argument, or after --, every argument is the compile's.\n"
    "Exit status: 0 when the compile would reach the compiler, 1 when Veilbox\n"
    "would end it with one of its own exit codes.\n";

}  // namespace

int RunPlanCommand(const std::vector<std::string>& args, std::ostream& out) {
  bool json = false;
  std::size_t first = 0;
  for (; first < args.size(); ++first) {
    const std::string& arg = args[first];
    if (arg == "--json") {
      json = true;
    } else if (arg == "--help") {
      out << kPlanUsage;
      return 0;
    } else if (arg == "--") {
      ++first;
      break;
    } else {
      break;
    }
  }
  // No project is the run's own end (253 or 248), and the plan says so.
  const std::vector<std::string> run_args(args.begin() + static_cast<std::ptrdiff_t>(first),
                                          args.end());
  const RunPlan plan = MakeRunPlan(run_args);
  out << (json ? FormatRunPlanJson(plan) : FormatRunPlan(plan));
  return plan.end_code ? 1 : 0;
}

}  // namespace veilbox
