#include "app/compile_run.h"

#include <exception>
#include <functional>

#include "app/phase_timer.h"
#include "app/protected_file_pass.h"
#include "app/run_safety.h"
#include "dbase/dbase3plus.h"
#include "platform/command_line_split.h"
#include "platform/interrupts.h"
#include "platform/profile.h"
#include "sysutil/errors.h"
#include "sysutil/file_utils.h"
#include "sysutil/globals.h"
#include "sysutil/reg_path.h"
#include "sysutil/run_and_wait.h"
#include "sysutil/text_utils.h"

namespace veilbox {
namespace {

constexpr char kSection[] = "CTEDIT";

[[noreturn]] void EndRun(RunUi& ui, const std::string& text, int code) {
  ui.ShowMessage(text);
  throw RunEnded(code);
}

std::string ReadSetting(RunUi& ui, const char* path, const char* missing_text) {
  std::string value = ReadRegString(RegRoot, path);
  if (value == kNotFound) EndRun(ui, missing_text, 253);
  return value;
}

// Writes "1" back to COMPILEOKMESSAGE when the run set it to "0", at the
// latest when the run ends.
class CompletionMessageSwitch {
 public:
  explicit CompletionMessageSwitch(std::string settings_file)
      : settings_file_(std::move(settings_file)) {}
  ~CompletionMessageSwitch() { Restore(); }
  CompletionMessageSwitch(const CompletionMessageSwitch&) = delete;
  CompletionMessageSwitch& operator=(const CompletionMessageSwitch&) = delete;

  // Suppresses the compiler's own message when it is on ("1");
  // before_write runs just before "0" is written.
  void Suppress(const std::function<void()>& before_write) {
    if (platform::GetProfileValue(kSection, "COMPILEOKMESSAGE", "1", settings_file_) == "1") {
      before_write();
      platform::SetProfileValue(kSection, "COMPILEOKMESSAGE", "0", settings_file_);
      suppressed_ = pending_ = true;
    }
  }
  void Restore() {
    if (!pending_) return;
    pending_ = false;
    platform::SetProfileValue(kSection, "COMPILEOKMESSAGE", "1", settings_file_);
  }
  bool suppressed() const { return suppressed_; }

 private:
  std::string settings_file_;
  bool suppressed_ = false;
  bool pending_ = false;
};

// Puts back the "1" that a killed run left as "0"; a value set since then
// stays.
bool RestoreCompletionMessage(const std::string& settings_file) {
  if (platform::GetProfileValue(kSection, "COMPILEOKMESSAGE", "1", settings_file) != "0")
    return true;
  return platform::SetProfileValue(kSection, "COMPILEOKMESSAGE", "1", settings_file);
}

void Run(RunUi& ui, const std::vector<std::string>& params, WrittenPlainFiles& written,
         RunSafety& safety) {
  RegRoot = kHkeyLocalMachine;
  ui.RestorePlacement();

  CitectDir = ReadSetting(ui, kRegCitectDir,
                          "Veilbox Cannot find the registry entry that contains Citect`s "
                          "location.  Please Run VeSetup.exe");
  CompExe = ReadSetting(ui, kRegCompExe,
                        "Veilbox Cannot find the registry entry that contains the Citect "
                        "compilier`s location.  Please Run VeSetup.exe");
  const char kEssential[] =
      "Veilbox cannot find the essential registry entries.  Please Run VeSetup.exe";
  AttachName = ReadSetting(ui, kRegAttachName, kEssential);
  CitectVer = ReadSetting(ui, kRegCitectVer, kEssential);

  if (params.empty()) EndRun(ui, "Nothing to Compile, No parameters Passed", 253);

  std::string project;
  bool have_project = false;
  for (const std::string& param : params) {
    if (param.empty() || (param[0] != '/' && param[0] != '-')) {
      project = param;
      have_project = true;
    }
  }
  if (!have_project) EndRun(ui, "Nothing to Compile, No Project passed on command line", 248);

  std::string settings_file = "Citect.ini";
  for (const std::string& param : params) {
    const std::string prefix = UpperAscii(LeftStr(param, 2));
    if (prefix == "/I" || prefix == "/O") {
      settings_file = AddBackslash(GetWindowsDir()) + CopyFrom(param, 3);
    }
  }

  MasterPath.clear();
  if (std::string user = platform::GetProfileValue(kSection, "USER", kNotFound, settings_file);
      !user.empty()) {
    MasterPath = std::move(user);
  }
  if (MasterPath.empty()) {
    EndRun(ui, "unable to resolve Master path from ini file " + settings_file, 246);
  }

  const std::string master_dir = AddBackslash(MasterPath);
  std::string project_dir;
  {
    TDBase3Plus master;
    master.SetFileName(master_dir + "master.dbf");
    try {
      master.Open();
    } catch (const std::exception&) {
      EndRun(ui, "Error : Unable to open " + master_dir + "master.dbf", 249);
    }
    const std::string wanted = UpperAscii(project);
    bool found = false;
    master.First();
    while (!master.Eof() && !found) {
      std::string name;
      master.FieldValue("name", &name);
      if (UpperAscii(name) == wanted) {
        found = true;
      } else {
        master.Next();
      }
    }
    if (!found) {
      EndRun(ui,
             "Unable to find Project \"" + project + "\" in Table " + master_dir + "Master.dbf.",
             250);
    }
    master.FieldValue("Path", &project_dir);
  }

  std::vector<std::string> collected;
  WalkedDirectories walked;
  MasterIndex master_index;
  MarkPhase(kPhaseCollectBegin);
  CollectProtectedFiles(ui, project_dir, true, collected, walked, master_index);
  MarkPhase(kPhaseCollectEnd);

  ui.HideWindow();
  safety.CheckInterrupt();
  std::vector<std::string> plain_files;
  for (const std::string& entry : collected) plain_files.push_back(PlainFileName(entry));
  safety.BeforePlainFiles(plain_files);
  MarkPhase(kPhaseDecryptBegin);
  DecryptCollected(ui, collected, written);
  MarkPhase(kPhaseDecryptEnd);

  CompletionMessageSwitch completion(settings_file);
  completion.Suppress([&] { safety.BeforeOkMessageOff(settings_file); });

  std::string bin = platform::GetProfileValue(kSection, "BIN", "-1", settings_file);
  if (bin == "-1") {
    // Nothing is started: "-1\<AttachName>" would name a program relative
    // to the current directory, and anything placed there would run while
    // the plain files are on disk. The run ends as a failed start does.
    ui.ShowMessage("BIN directory not defined in " + settings_file);
    completion.Restore();
    written.DeleteAll();
    ui.ShowErrorDialog("Veilbox Cannot Execute the the file  " + bin +
                       ".  Veilbox is unable to continue.");
    throw RunEnded(247);
  }

  safety.CheckInterrupt();  // no compiler is started after a soft end
  MarkPhase(kPhaseCompileBegin);
  const int exit_code = RunAndWait("", CompilerCommandLine(bin, AttachName, params), bin);
  MarkPhase(kPhaseCompileEnd);
  const bool started = LastStatus == kSuccessText;

  completion.Restore();
  safety.CheckInterrupt();  // the compiler had it too and has ended: clean up, end by it

  if (!started) {
    written.DeleteAll();
    ui.ShowErrorDialog("Veilbox Cannot Execute the the file  " + bin +
                       ".  Veilbox is unable to continue.");
    throw RunEnded(247);
  }

  MarkPhase(kPhaseCleanupBegin);
  written.DeleteAll();
  MarkPhase(kPhaseCleanupEnd);
  safety.Settle();
  safety.CheckInterrupt();

  if (completion.suppressed()) ui.ShowMessage("Veilbox Compile Complete");
  throw RunEnded(exit_code);
}

}  // namespace

std::string CompilerCommandLine(const std::string& bin, const std::string& attach_name,
                                const std::vector<std::string>& params) {
  std::string line = platform::QuoteProgramName(AddBackslash(bin) + attach_name) + " ";
  for (const std::string& param : params) line += platform::QuoteArgument(param) + " ";
  return line;
}

void RunCompile(RunUi& ui, const std::vector<std::string>& params) {
  RunSafety safety(RestoreCompletionMessage);
  WrittenPlainFiles written;
  // The end of the session leaves no time to unwind: clean up in place.
  platform::EmergencyCleanup session_end([&] {
    written.DeleteAll();
    safety.Settle();
  });
  try {
    safety.Begin();
    Run(ui, params, written, safety);
  } catch (const RunEnded&) {
    throw;
  } catch (const RunInterrupted&) {
    throw;
  } catch (const std::exception& e) {
    written.DeleteAll();
    ui.ShowMessage(e.what());
    throw RunEnded(252);
  }
  // Run never returns normally.
  throw RunEnded(252);
}

}  // namespace veilbox
