// POSIX stand-in only: the Windows error code that a failed POSIX call
// stands for, so that callers of the seam see the same codes on both
// builds.
#pragma once

#include <cstdint>
#include <string>

namespace veilbox::standin {

// ENOENT: 2, ENOTDIR: 3, EMFILE/ENFILE: 4, EACCES/EPERM/EISDIR/EROFS: 5,
// ENOMEM: 8, EBUSY/ETXTBSY/EWOULDBLOCK: 32, EEXIST: 80, EINVAL: 87,
// ENOSPC/EDQUOT: 112, EILSEQ: 123, ENAMETOOLONG: 206, ELOOP: 1921,
// EIO: 1117, anything else: 31 (general failure).
std::uint32_t WindowsErrorFromErrno(int err);

// As above, but ENOENT becomes 3 (path not found) when the directory that
// should hold native_path does not exist, as Windows tells the two apart.
std::uint32_t WindowsErrorForPath(int err, const std::string& native_path);

// The errno that a Windows error code stands for, the other way round
// (2 and 3: ENOENT, 5: EACCES, ...); 0 for a code without one.
int ErrnoFromWindowsError(std::uint32_t code);

}  // namespace veilbox::standin
