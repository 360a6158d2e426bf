#include "platform/program_args.h"
#include "platform/program_entry.h"

int main(int argc, char** argv) {
  return veilbox::ProgramEntry(veilbox::platform::ProgramParams(argc, argv));
}
