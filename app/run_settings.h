// The run's settings: Veilbox's four registry values, the project and the
// settings file from the command line, and Citect's master directory
// (USER) and compiler directory (BIN) from the settings file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/run_ui.h"

namespace veilbox {

// Registry paths of the settings that the setup tool writes.
inline constexpr char kRegCitectDir[] = "Software\\Talvoren\\Veilbox\\CitectDir";
inline constexpr char kRegCompExe[] = "Software\\Talvoren\\Veilbox\\CompExe";
inline constexpr char kRegAttachName[] = "Software\\Talvoren\\Veilbox\\AttachName";
inline constexpr char kRegCitectVer[] = "Software\\Talvoren\\Veilbox\\CitectVer";

// Citect's section in the settings file.
inline constexpr char kSettingsSection[] = "CTEDIT";

// What the run reads before it starts, passed to its steps as one value.
struct RunSettings {
  // The registry value AttachName: the compiler's program name in BIN.
  // CitectDir, CompExe and CitectVer must exist; their values are not
  // used.
  std::string attach_name;
  std::string project;
  // As the private-profile functions take it: "Citect.ini", or the Windows
  // directory and the name a /I or /O switch gives.
  std::string settings_file;
  // USER from the settings file: Citect's master directory, where
  // master.dbf lies.
  std::string master_path;
};

// Reads the registry values below HKEY_LOCAL_MACHINE (the view as
// SettingsView picks it), takes the project and the settings file from
// params (the program's arguments 1 to n), and reads USER. Ends the run with its message and 253,
// 248 or 246 where one of them is missing.
RunSettings ReadRunSettings(RunUi& ui, const std::vector<std::string>& params);

// BIN from the settings file: the compiler's directory; nothing when it is
// not defined (or is the text kBinNotDefined itself, which the messages
// show in its place).
std::optional<std::string> ReadCompilerDirectory(const std::string& settings_file);
inline constexpr char kBinNotDefined[] = "-1";

}  // namespace veilbox
