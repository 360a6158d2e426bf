// Where Veilbox's own settings are read from. Veilbox, Citect and the
// setup tool that writes the settings are 32-bit programs: on 64-bit
// Windows the settings lie in the registry's 32-bit view, and that view is
// read whatever the build. A .reg file double-clicked on 64-bit Windows is
// imported by the 64-bit registry editor into the 64-bit view instead: when
// the key does not exist in the 32-bit view at all, the 64-bit view is
// read. When it exists in the 32-bit view, that view alone counts.
#pragma once

#include "sysutil/globals.h"
#include "sysutil/reg_path.h"

namespace veilbox {

// The key of the settings that the setup tool writes.
inline constexpr char kRegSettingsKey[] = "Software\\Talvoren\\Veilbox";

// The view to read the settings key below HKEY_LOCAL_MACHINE from.
RegView SettingsView();

}  // namespace veilbox
