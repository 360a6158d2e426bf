// The plan: what a compile run of a project would decrypt on this machine,
// worked out without writing anything. It reads the same settings as a
// run, walks the includes exactly as the run does, checks every
// ProtectedFile in memory and looks at what stands at each plain file's
// name; it never writes a file, never changes the settings file and never
// starts the compiler.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace veilbox {

// One ProtectedFile of the walk, in the collected order.
struct PlannedFile {
  std::string protected_name;  // as the run collects it: full and upper-cased
  std::string plain_name;
  // "ok", "short" (fewer than 5 lines: the run writes no plain file),
  // "repeat" (its plain file is written once, further up), "malformed"
  // or "unreadable".
  std::string status;
  std::size_t plain_lines = 0;  // for "ok"
  std::string error;            // for "malformed" and "unreadable"
  // What stands at the plain file's name now: "nothing", "hidden leftover"
  // (replaced), "someone's entry, set aside" (a file or a link of someone's:
  // put back after the compile), "read-only file" or "system file" or
  // "directory" (the run stops there).
  std::string at_plain_name;
  // The run's end at this file: its exit code and message, 0 and "" when
  // the run goes on past it.
  int stop_code = 0;
  std::string stop_message;
};

// One step of the walk, in the order the run takes them.
struct PlannedStep {
  enum class Kind {
    kDirectory,  // a project directory walked: `text` is the directory
    kInclude,    // an include followed: `text` its name, `dir` its directory
    kRepeat,     // an include whose directory was walked before: not again
    kCycle,      // an include back to a directory being walked: not again
    kMissing,    // an include not in the master table: the table's walk ends
  };
  Kind kind = Kind::kDirectory;
  int depth = 0;  // include levels above the directory this step belongs to
  std::string text;
  std::string dir;
  // kDirectory: its ProtectedFiles, as indexes into RunPlan::files.
  std::size_t first_file = 0;
  std::size_t file_count = 0;
};

struct RunPlan {
  std::vector<std::string> args;  // the run's arguments
  std::string project;
  std::string settings_file;
  std::string master_table;
  std::string project_dir;
  std::vector<PlannedStep> steps;
  std::vector<PlannedFile> files;
  std::string compiler;                 // the compiler's full name, when the run gets that far
  bool compiler_found = false;          // the compiler is there and this user can start it
  bool completion_message_off = false;  // the run switches it off for the compile
  // What the run does first: the clean-up after runs that were killed
  // outright, one step a text (see PreviewRecovery).
  std::vector<std::string> pending_recovery;
  // Each plain files' directory whose lock someone holds now, and who.
  std::vector<std::pair<std::string, std::string>> lock_holders;
  // Every message box the run would show, in order.
  std::vector<std::string> messages;
  // The run's own end before the compiler: its exit code; nullopt when the
  // run reaches the compiler.
  std::optional<int> end_code;
};

// Works out the plan for a run with these arguments (the compiler's
// command line, as the run gets it).
RunPlan MakeRunPlan(const std::vector<std::string>& args);

// The plan as text, one step a line, includes indented by their level.
std::string FormatRunPlan(const RunPlan& plan);
// The plan as one JSON document.
std::string FormatRunPlanJson(const RunPlan& plan);

}  // namespace veilbox

namespace veilbox {

// veilbox-protect plan [--json] [--] ARGUMENTS: the plan of a run with the
// compiler's ARGUMENTS (a project and any switches, /I or /O naming the
// settings file). Options (--json, --help) count only before ARGUMENTS:
// from the first other argument on, or after --, everything is the
// compiler's, as the run sees it; none at all is a run without a project.
// Prints the plan (or the usage) to out. Returns 0 when the run would
// reach the compiler, 1 when it would end with one of its own exit codes.
int RunPlanCommand(const std::vector<std::string>& args, std::ostream& out);

}  // namespace veilbox
