// Whether a directory is the user's own: what lies in it (the run
// journals) is followed only when nobody else could have put it there.
#pragma once

#include <string>

namespace veilbox::platform {

// True when dir is a directory that the current user owns and that no one
// else may write to. POSIX: the owner is the effective user and neither
// group nor others have write access. Windows: the owner is the user (or
// the Administrators group or SYSTEM, which may write anywhere anyway) and
// the access list grants write access to no one else. False with a reason
// otherwise.
bool DirectoryIsPrivate(const std::string& dir, std::string* err);

}  // namespace veilbox::platform
