// The program's entry in the form each toolchain links. Windows: WinMain,
// the entry of a GUI program (subsystem windows) for MinGW-w64 and Visual
// C++ alike, with the arguments split from the process's command line;
// POSIX: main. Only the program itself links an entry; it defines
// ProgramEntry, which the entry calls.
#pragma once

#include <string>
#include <vector>

namespace veilbox {

// The program's own work, given its arguments 1 to n; returns the exit
// code.
int ProgramEntry(std::vector<std::string> params);

}  // namespace veilbox
