// The compile run: from the registry settings and the command line to the
// compiler's exit code. It ends the run on every path by raising
// RunEnded with the exit code, after its message where it has one.
#pragma once

#include <string>
#include <vector>

#include "app/run_ui.h"

namespace veilbox {

// Registry paths of the settings that the setup tool writes.
inline constexpr char kRegCitectDir[] = "Software\\Talvoren\\Veilbox\\CitectDir";
inline constexpr char kRegCompExe[] = "Software\\Talvoren\\Veilbox\\CompExe";
inline constexpr char kRegAttachName[] = "Software\\Talvoren\\Veilbox\\AttachName";
inline constexpr char kRegCitectVer[] = "Software\\Talvoren\\Veilbox\\CitectVer";

// The whole run, the handler of the start message. params are the
// program's arguments 1 to n. Errors that nothing else catches end the run
// with the default error box and 252, after the plain files written so far
// have been deleted.
[[noreturn]] void RunCompile(RunUi& ui, const std::vector<std::string>& params);

// The compiler's command line: the program name, quoted when it holds a
// blank, then each argument, quoted by the Windows rules where it must be
// to reach the compiler unchanged, and followed by one blank.
std::string CompilerCommandLine(const std::string& bin, const std::string& attach_name,
                                const std::vector<std::string>& params);

}  // namespace veilbox
