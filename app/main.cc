// Program entry. With MinGW's -mwindows a plain main still starts the GUI
// program; the arguments come from the process's own command line.
#include "app/program.h"
#include "platform/program_args.h"

int main(int argc, char** argv) {
  return veilbox::RunProgram(veilbox::platform::ProgramParams(argc, argv));
}
