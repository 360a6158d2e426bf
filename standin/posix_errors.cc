#include "standin/posix_errors.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/files.h"

namespace veilbox::standin {

std::uint32_t WindowsErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
      return platform::kErrorFileNotFound;
    case ENOTDIR:
      return platform::kErrorPathNotFound;
    case EMFILE:
    case ENFILE:
      return platform::kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return platform::kErrorAccessDenied;
    case ENOMEM:
      return 8;  // ERROR_NOT_ENOUGH_MEMORY
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK:
      return platform::kErrorSharingViolation;
    case EEXIST:
      return platform::kErrorFileExists;
    case EINVAL:
      return 87;  // ERROR_INVALID_PARAMETER
    case ENOSPC:
    case EDQUOT:
      return platform::kErrorDiskFull;
    case EILSEQ:
      return platform::kErrorInvalidName;
    case ENAMETOOLONG:
      return platform::kErrorFilenameTooLong;
    case ELOOP:
      return 1921;  // ERROR_CANT_RESOLVE_FILENAME
    case EIO:
      return 1117;  // ERROR_IO_DEVICE
    default:
      return 31;  // ERROR_GEN_FAILURE
  }
}

std::uint32_t WindowsErrorForPath(int err, const std::string& native_path) {
  if (err != ENOENT) return WindowsErrorFromErrno(err);
  const std::size_t slash = native_path.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return platform::kErrorFileNotFound;
  struct stat st;
  const std::string dir = native_path.substr(0, slash);
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return platform::kErrorPathNotFound;
  return platform::kErrorFileNotFound;
}

int ErrnoFromWindowsError(std::uint32_t code) {
  switch (code) {
    case platform::kErrorFileNotFound:
      return ENOENT;
    case platform::kErrorPathNotFound:
      return ENOENT;
    case platform::kErrorTooManyOpenFiles:
      return EMFILE;
    case platform::kErrorAccessDenied:
      return EACCES;
    case 8:
      return ENOMEM;
    case platform::kErrorSharingViolation:
      return EBUSY;
    case platform::kErrorFileExists:
      return EEXIST;
    case 87:
      return EINVAL;
    case platform::kErrorDiskFull:
      return ENOSPC;
    case platform::kErrorInvalidName:
      return EILSEQ;
    case platform::kErrorFilenameTooLong:
      return ENAMETOOLONG;
    case 1921:
      return ELOOP;
    case 1117:
      return EIO;
    default:
      return 0;
  }
}

}  // namespace veilbox::standin
