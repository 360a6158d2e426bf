// The program: what its entry (platform/program_entry.h) runs.
#include <utility>

#include "app/program.h"
#include "platform/program_entry.h"

int veilbox::ProgramEntry(std::vector<std::string> params) { return RunProgram(std::move(params)); }
