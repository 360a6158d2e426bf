// The command line split into arguments by the runtime's rules: arguments
// are separated by blanks and control characters (bytes 1 to 32), a
// double-quoted stretch keeps its blanks and loses its quotes, and a pair
// of double quotes standing before an argument is skipped. The first
// argument is the program itself; the count stops at the first empty
// argument, which only the end of the line gives.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veilbox::text {

// Arguments 1 to n of a whole command line (the program's own name, the
// first token, is left out).
std::vector<std::string> SplitParams(std::string_view command_line);

}  // namespace veilbox::text
