// POSIX stand-in only: finding a directory entry regardless of letter
// case, as the Windows file system matches names, without reading the
// directory again for every lookup.
//
// The entries of each directory looked in are kept, folded to lower case,
// for the life of the process. A kept name is checked to exist before it is
// returned, and a name that is not kept (or no longer exists) reads the
// directory afresh, so entries created, renamed or removed since, by this
// process or another, are seen. A lookup therefore costs one hash lookup
// and one lstat where a directory of n entries was read whole before.
#pragma once

#include <string>
#include <string_view>

namespace veilbox::platform {

// The name of the entry of dir (a native path; empty for the current
// directory) that equals name when the letters A-Z and a-z are compared
// without regard to case, or empty when there is none. Where several
// entries match, the first that the directory listing delivers wins.
std::string FindEntryIgnoringCase(const std::string& dir, std::string_view name);

}  // namespace veilbox::platform
