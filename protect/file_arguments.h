// The file arguments of veilbox-protect, with wildcards expanded the way a
// Windows program expands them itself (cmd.exe passes them on as typed).
#pragma once

#include <string>
#include <vector>

namespace veilbox {

// True when the last component of arg holds * or ?.
bool HasWildcard(const std::string& arg);

// The files an argument names: itself when it holds no wildcard, else every
// file (not directory) whose name matches the last component, in the
// directory the rest names, sorted without regard to case. With
// skip_protected, names ending in ".Veilbox" or ".Veilbox.partial" are left
// out of a match. An empty result sets *problem.
std::vector<std::string> ExpandFileArgument(const std::string& arg, bool skip_protected,
                                            std::string* problem);

// Every file below dir (dir itself included, links to directories not
// followed) whose name matches one of the patterns, directory by directory
// in sorted order. An empty result or a missing dir sets *problem.
std::vector<std::string> FindFilesBelow(const std::string& dir,
                                        const std::vector<std::string>& patterns,
                                        bool skip_protected, std::string* problem);

}  // namespace veilbox
