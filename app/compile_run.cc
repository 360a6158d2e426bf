#include "app/compile_run.h"

#include <exception>

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
#include "protect/protected_file_name.h"
#include "sysutil/errors.h"
#include "sysutil/globals.h"
#include "sysutil/version.h"

namespace veilbox {
namespace {

// Shown in place of the completion message when the clean-up could not
// remove every plain file.
std::string LeftPlainFilesMessage(const std::vector<std::string>& left,
                                  const std::vector<std::string>& not_put_back) {
  std::string text = "Veilbox Compile Complete, but";
  if (!left.empty()) {
    text +=
        " these decrypted files could not be removed; Veilbox removes them when it next "
        "starts:";
    for (const std::string& name : left) text += " \"" + name + "\"";
  }
  if (!left.empty() && !not_put_back.empty()) text += "; and";
  if (!not_put_back.empty()) {
    text +=
        " these files were not put back, because another entry stands where Veilbox kept "
        "them; both are left beside the name:";
    for (const std::string& name : not_put_back) text += " \"" + name + "\"";
  }
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
                                         const MasterIndex& master_index) {
  std::vector<std::string> collected;
  IncludeWalk walk;
  walk.master_index = &master_index;
  MarkPhase(kPhaseCollectBegin);
  CollectProtectedFiles(ui, project_dir, true, collected, walk);
  MarkPhase(kPhaseCollectEnd);
  return collected;
}

// Locks the directories of the plain files, records them in the journal
// and decrypts every collected ProtectedFile into its plain file.
void WritePlainFiles(RunUi& ui, const std::vector<std::string>& collected,
                     WrittenPlainFiles& written, RunSafety& safety) {
  std::vector<std::string> plain_files;
  for (const std::string& entry : collected) plain_files.push_back(PlainFileName(entry));
  safety.LockPlainFileDirectories(plain_files);
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
  const std::vector<std::string> left = written.DeleteAll();
  MarkPhase(kPhaseCleanupEnd);
  safety.Settle();
  safety.CheckInterrupt();
  if (!left.empty() || !written.not_put_back().empty()) {
    ui.ShowMessage(LeftPlainFilesMessage(left, written.not_put_back()));
  } else if (completion.suppressed()) {
    ui.ShowMessage("Veilbox Compile Complete");
  }
}

// The run, step by step. Each step that cannot go on ends the run through
// EndRun with its message and exit code.
int Run(RunUi& ui, const std::vector<std::string>& params, WrittenPlainFiles& written,
        RunSafety& safety) {
  RegRoot = kHkeyLocalMachine;
  ui.RestorePlacement();
  const RunSettings settings = ReadRunSettings(ui, params);
  const std::string& settings_file = settings.settings_file;

  MasterIndex master_index;
  const std::string project_dir = FindProjectDirectory(ui, settings.project, &master_index);
  const std::vector<std::string> collected = CollectRunFiles(ui, project_dir, master_index);

  ui.HideWindow();
  safety.CheckInterrupt();
  WritePlainFiles(ui, collected, written, safety);

  CompletionMessageSwitch completion(settings_file);
  completion.Suppress([&] { safety.BeforeOkMessageOff(settings_file); });

  const std::string bin = ReadCompilerDirectory(settings_file);
  if (bin == kBinNotDefined) {
    // Nothing is started: "-1\<AttachName>" would name a program relative
    // to the current directory, and anything placed there would run while
    // the plain files are on disk. The run ends as a failed start does.
    ui.ShowMessage("BIN directory not defined in " + settings_file);
    EndCannotExecute(ui, bin, completion, written);
  }

  safety.CheckInterrupt();  // no compiler is started after a soft end
  MarkPhase(kPhaseCompileBegin);
  int exit_code = 0;
  // Window messages are dispatched during the wait (see RunCompiler).
  const bool started = RunCompiler(bin, params, &exit_code);
  MarkPhase(kPhaseCompileEnd);

  completion.Restore();
  safety.CheckInterrupt();  // the compiler had it too and has ended: clean up, end by it
  if (!started) EndCannotExecute(ui, bin, completion, written);

  CleanUpAfterCompile(ui, written, safety, completion);
  return exit_code;
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
  } catch (const RunEnded&) {
    throw;
  } catch (const RunInterrupted&) {
    throw;
  } catch (const std::exception& e) {
    EndRun(ui, e.what(), 252, [&] { written.DeleteAll(); });
  }
}

}  // namespace veilbox
