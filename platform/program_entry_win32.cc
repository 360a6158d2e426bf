#include <windows.h>

#include "platform/program_args.h"
#include "platform/program_entry.h"

// The arguments come from the process's own command line, as the runtime
// splits it, not from WinMain's: they are the same for every toolchain.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return veilbox::ProgramEntry(veilbox::platform::ProgramParams(0, nullptr));
}
