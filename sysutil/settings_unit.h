// Start-up and end of the settings: the placement base path from the
// program file's name and the registry root of the placement values.
#pragma once

#include <string>
#include <string_view>

namespace veilbox {

// The application's default title from the program file's full name: the
// name without its directory and without everything from its first dot
// on, its first character unchanged and every later one in lower case.
// WRAPPER.EXE gives Wrapper.
std::string DefaultTitle(std::string_view program_file);

// Sets RegBasePath to "Software\Talvoren\" + the default title of this
// program (its file name converted from OEM to ANSI first) and RegRoot to
// HKEY_CURRENT_USER. Run once, before the main window is created.
void StartSettingsUnit();

// Releases LastStatus and RegBasePath. Run once, at the end of the process.
void EndSettingsUnit();

}  // namespace veilbox
