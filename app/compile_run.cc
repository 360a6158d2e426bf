#include "app/compile_run.h"

#include <exception>
#include <optional>

#include "app/compiler_start.h"
#include "app/completion_message.h"
#include "app/decrypt_workers.h"
#include "app/include_walk.h"
#include "app/master_index.h"
#include "app/phase_timer.h"
#include "app/plain_files.h"
#include "app/project_lookup.h"
#include "app/run_end.h"
#include "app/run_safety.h"
#include "app/run_settings.h"
#include "platform/debug_output.h"
#include "platform/interrupts.h"
#include "sysutil/errors.h"
#include "sysutil/globals.h"
#include "sysutil/version.h"

namespace veilbox {
namespace {

// Shown in place of the completion message when the clean-up could not
// remove every plain file or put back everything it set aside.
std::string LeftPlainFilesMessage(const CleanUpLeft& left) {
  std::string text = "Veilbox Compile Complete, but";
  bool first = true;
  const auto part = [&](const std::vector<std::string>& names, const char* what) {
    if (names.empty()) return;
    if (!first) text += "; and";
    first = false;
    text += what;
    for (const std::string& name : names) text += " " + name;
  };
  std::vector<std::string> not_removed;
  for (const std::string& name : left.not_removed) not_removed.push_back("\"" + name + "\"");
  part(not_removed,
       " these decrypted files could not be removed; Veilbox removes them when it next starts:");
  part(left.not_put_back,
       " these files set aside during the compile could not be put back; Veilbox puts them back "
       "when it next starts:");
  std::vector<std::string> beside;
  for (const std::string& name : left.left_beside) beside.push_back("\"" + name + "\"");
  part(beside,
       " these files were not put back, because another entry stands where Veilbox kept them; "
       "both are left beside the name:");
  return text;
}

// The compiler cannot be started: the completion message goes back on and
// the plain files go before the dialog shows.
[[noreturn]] void EndCannotExecute(RunUi& ui, const std::string& bin,
                                   CompletionMessageSwitch& completion,
                                   WrittenPlainFiles& written) {
  EndRun(
      ui, "Veilbox Cannot Execute the the file  " + bin + ".  Veilbox is unable to continue.", 247,
      [&] {
        completion.Restore();
        written.DeleteAll();
      },
      EndBox::kErrorDialog);
}

// The ProtectedFiles of the project and of everything it includes, in the
// order the include walk reaches them.
std::vector<std::string> CollectRunFiles(RunUi& ui, const std::string& project_dir,
                                         MasterIndex& master_index,
                                         const std::string& master_path) {
  std::vector<std::string> collected;
  IncludeWalk walk;
  walk.master_index = &master_index;
  walk.master_path = master_path;
  MarkPhase(kPhaseCollectBegin);
  CollectProtectedFiles(ui, project_dir, collected, walk);
  collected.shrink_to_fit();  // kept through the run
  MarkPhase(kPhaseCollectEnd);
  return collected;
}

// Locks the directories of the plain files, records them in the journal
// and decrypts every collected ProtectedFile into its plain file.
void WritePlainFiles(RunUi& ui, const std::vector<std::string>& collected,
                     WrittenPlainFiles& written, RunSafety& safety) {
  // A plain file lies in its ProtectedFile's directory: the collected
  // names name the directories to lock, without a copy of each name.
  safety.LockPlainFileDirectories(collected);
  std::string journal_err;
  const auto record = [&](const std::vector<PlainFileEntry>& entries, std::string* err) {
    return safety.BeforePlainFiles(entries, err);
  };
  MarkPhase(kPhaseDecryptBegin);
  if (!DecryptCollected(ui, collected, written, record, &journal_err, DecryptWorkerCount()))
    EndRun(ui, journal_err, 252);
  MarkPhase(kPhaseDecryptEnd);
}

// Removes the plain files after the compile and shows the completion
// message the compiler was kept from showing (or what could not be removed).
void CleanUpAfterCompile(RunUi& ui, WrittenPlainFiles& written, RunSafety& safety,
                         const CompletionMessageSwitch& completion) {
  MarkPhase(kPhaseCleanupBegin);
  const CleanUpLeft left = written.DeleteAll(DecryptWorkerCount());
  MarkPhase(kPhaseCleanupEnd);
  safety.Settle(left.settled);
  safety.CheckInterrupt();
  if (!left.empty()) {
    ui.ShowMessage(LeftPlainFilesMessage(left));
  } else if (completion.suppressed()) {
    ui.ShowMessage("Veilbox Compile Complete");
  }
}

// The run, step by step. Each step that cannot go on ends the run through
// EndRun with its message and exit code.
int Run(RunUi& ui, const std::vector<std::string>& params, WrittenPlainFiles& written,
        RunSafety& safety) {
  // From here to the end of the process the window's placement is read
  // and written below HKEY_LOCAL_MACHINE (the save when the window closes
  // included), as the compile always has: placements stored there stay in
  // use. Before the run it is HKEY_CURRENT_USER (the settings unit).
  ui.RestorePlacement(kHkeyLocalMachine);
  const RunSettings settings = ReadRunSettings(ui, params);
  const std::string& settings_file = settings.settings_file;

  // The master table stays open for the look-ups only, not through the
  // compile.
  const std::vector<std::string> collected = [&] {
    MasterIndex master_index;
    const std::string project_dir =
        FindProjectDirectory(ui, settings.master_path, settings.project, &master_index);
    return CollectRunFiles(ui, project_dir, master_index, settings.master_path);
  }();

  ui.HideWindow();
  safety.CheckInterrupt();
  WritePlainFiles(ui, collected, written, safety);

  CompletionMessageSwitch completion(settings_file);
  completion.Suppress([&] { safety.BeforeOkMessageOff(settings_file); });

  const std::optional<std::string> bin_setting = ReadCompilerDirectory(settings_file);
  if (!bin_setting) {
    // Nothing is started: "-1\<AttachName>" would name a program relative
    // to the current directory, and anything placed there would run while
    // the plain files are on disk. The run ends as a failed start does.
    ui.ShowMessage("BIN directory not defined in " + settings_file);
    EndCannotExecute(ui, kBinNotDefined, completion, written);
  }
  const std::string& bin = *bin_setting;

  safety.CheckInterrupt();  // no compiler is started after a soft end
  MarkPhase(kPhaseCompileBegin);
  // Window messages are dispatched during the wait (see RunCompiler).
  const std::optional<int> exit_code = RunCompiler(bin, settings.attach_name, params);
  MarkPhase(kPhaseCompileEnd);

  completion.Restore();
  safety.CheckInterrupt();  // the compiler had it too and has ended: clean up, end by it
  if (!exit_code) EndCannotExecute(ui, bin, completion, written);

  CleanUpAfterCompile(ui, written, safety, completion);
  return *exit_code;
}

}  // namespace

int RunCompile(RunUi& ui, const std::vector<std::string>& params) {
  RunSafety safety(RestoreCompletionMessage);
  WrittenPlainFiles written;
  // The end of the session leaves no time to unwind: clean up in place.
  platform::EmergencyCleanup session_end([&] {
    written.DeleteAll();
    safety.Settle();
  });
  platform::DebugOutput("Veilbox " + VersionText());
  try {
    safety.Begin();
    return Run(ui, params, written, safety);
  } catch (const RunEnd&) {
    throw;
  } catch (const std::exception& e) {
    EndRun(ui, e.what(), 252, [&] { written.DeleteAll(); });
  }
}

}  // namespace veilbox
