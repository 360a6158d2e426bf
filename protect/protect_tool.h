// veilbox-protect: the vendors' tool that writes ProtectedFiles from plain
// source files and checks ProtectedFiles without writing anything.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace veilbox {

// The web address in every banner line that this tool writes.
inline constexpr char kWebAddress[] = "https://veilbox.example";

// Runs the tool on its arguments (without the program name). Reports go
// to out, usage errors to err. Returns the exit status: 0 when every file
// succeeded, 1 when any failed, 2 for a usage error. Never prints the
// plain text of a file.
int RunProtectTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace veilbox
