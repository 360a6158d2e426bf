#include "standin/posix_errors.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/files.h"

namespace veilbox::platform {

std::uint32_t WindowsErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return kErrorAccessDenied;
    case ENOMEM:
      return 8;  // ERROR_NOT_ENOUGH_MEMORY
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK:
      return kErrorSharingViolation;
    case EEXIST:
      return kErrorFileExists;
    case EINVAL:
      return 87;  // ERROR_INVALID_PARAMETER
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case EILSEQ:
      return kErrorInvalidName;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
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
  if (slash == std::string::npos || slash == 0) return kErrorFileNotFound;
  struct stat st;
  const std::string dir = native_path.substr(0, slash);
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return kErrorPathNotFound;
  return kErrorFileNotFound;
}

}  // namespace veilbox::platform
