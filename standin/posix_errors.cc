#include "standin/posix_errors.h"

#include <sys/stat.h>

#include <cerrno>

#include "standin/error_codes.h"

namespace veilbox::standin {

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
      return kErrorNotEnoughMemory;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK:
      return kErrorSharingViolation;
    case EEXIST:
      return kErrorFileExists;
    case EINVAL:
      return kErrorInvalidParameter;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case EILSEQ:
      return kErrorInvalidName;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case ELOOP:
      return kErrorCantResolveFilename;
    case EIO:
      return kErrorIoDevice;
    default:
      return kErrorGenFailure;
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

int ErrnoFromWindowsError(std::uint32_t code) {
  switch (code) {
    case kErrorFileNotFound:
      return ENOENT;
    case kErrorPathNotFound:
      return ENOENT;
    case kErrorTooManyOpenFiles:
      return EMFILE;
    case kErrorAccessDenied:
      return EACCES;
    case kErrorNotEnoughMemory:
      return ENOMEM;
    case kErrorSharingViolation:
      return EBUSY;
    case kErrorFileExists:
      return EEXIST;
    case kErrorInvalidParameter:
      return EINVAL;
    case kErrorDiskFull:
      return ENOSPC;
    case kErrorInvalidName:
      return EILSEQ;
    case kErrorFilenameTooLong:
      return ENAMETOOLONG;
    case kErrorCantResolveFilename:
      return ELOOP;
    case kErrorIoDevice:
      return EIO;
    default:
      return 0;
  }
}

}  // namespace veilbox::standin
