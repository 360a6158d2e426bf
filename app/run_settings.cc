#include "app/run_settings.h"

#include "app/run_end.h"
#include "app/settings_view.h"
#include "platform/profile.h"
#include "sysutil/file_utils.h"
#include "sysutil/globals.h"
#include "sysutil/reg_path.h"
#include "sysutil/text_utils.h"

namespace veilbox {
namespace {

// A registry value of Veilbox's settings, which must exist.
std::string ReadSetting(RunUi& ui, RegView view, const char* path, const char* missing_text) {
  std::optional<std::string> value = ReadRegValue(kHkeyLocalMachine, path, view);
  if (!value) EndRun(ui, missing_text, 253);
  return *std::move(value);
}

bool IsSwitch(const std::string& param) {
  return !param.empty() && (param[0] == '/' || param[0] == '-');
}

}  // namespace

RunSettings ReadRunSettings(RunUi& ui, const std::vector<std::string>& params) {
  const RegView view = SettingsView();
  RunSettings settings;
  ReadSetting(ui, view, kRegCitectDir,
              "Veilbox Cannot find the registry entry that contains Citect`s "
              "location.  Please Run VeSetup.exe");
  ReadSetting(ui, view, kRegCompExe,
              "Veilbox Cannot find the registry entry that contains the Citect "
              "compilier`s location.  Please Run VeSetup.exe");
  const char kEssential[] =
      "Veilbox cannot find the essential registry entries.  Please Run VeSetup.exe";
  settings.attach_name = ReadSetting(ui, view, kRegAttachName, kEssential);
  ReadSetting(ui, view, kRegCitectVer, kEssential);

  if (params.empty()) EndRun(ui, "Nothing to Compile, No parameters Passed", 253);

  bool have_project = false;
  for (const std::string& param : params) {
    if (!IsSwitch(param)) {  // the last one wins
      settings.project = param;
      have_project = true;
    }
  }
  if (!have_project) EndRun(ui, "Nothing to Compile, No Project passed on command line", 248);

  settings.settings_file = "Citect.ini";
  for (const std::string& param : params) {
    const std::string prefix = UpperAscii(LeftStr(param, 2));
    if (prefix == "/I" || prefix == "/O") {
      settings.settings_file = AddBackslash(GetWindowsDir()) + CopyFrom(param, 3);
    }
  }

  // A missing USER leaves the sentinel itself as the master directory:
  // the table's open fails on it.
  settings.master_path =
      platform::GetProfileValue(kSettingsSection, "USER", kNotFound, settings.settings_file);
  if (settings.master_path.empty()) {
    EndRun(ui, "unable to resolve Master path from ini file " + settings.settings_file, 246);
  }
  return settings;
}

std::optional<std::string> ReadCompilerDirectory(const std::string& settings_file) {
  std::string bin =
      platform::GetProfileValue(kSettingsSection, "BIN", kBinNotDefined, settings_file);
  if (bin == kBinNotDefined) return std::nullopt;
  return bin;
}

}  // namespace veilbox
