// Matching of file names against a wildcard pattern the way Windows
// searches do it, for the POSIX stand-in.
#pragma once

#include <string_view>

namespace veilbox::standin {

// True when name matches pattern: * stands for any run of characters, ?
// for exactly one, letters A to Z match regardless of case, and a pattern
// ending in ".*" also matches the name without that ending ("*.*" matches
// every name, "abc.*" matches "abc"). Short 8.3 names are not emulated.
bool WildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace veilbox::standin
