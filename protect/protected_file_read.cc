#include "protect/protected_file_read.h"

#include "platform/files.h"
#include "sysutil/file_utils.h"

namespace veilbox {

std::string ReadFailureReason(std::uint32_t error) {
  switch (error) {
    case platform::kErrorFileNotFound:
    case platform::kErrorPathNotFound:
      return "Cannot open file: it no longer exists";
    case platform::kErrorSharingViolation:
    case platform::kErrorLockViolation:
      return "Cannot open file: another program holds it open";
    case platform::kErrorAccessDenied:
      return "Cannot open file: access denied";
    case platform::kErrorBadFileType:
      return "Cannot open file: it is not a regular file";
    case platform::kErrorNotEnoughMemory:
      return "Cannot read file: not enough memory for it";
    default:
      return "Cannot read file: " + IoErrorMessage(error);
  }
}

std::string ReadProtectedFile(const std::string& FileName, const RetryPolicy& policy,
                              const PauseFn& pause) {
  std::string bytes;
  std::uint32_t error = 0;
  const bool read = RetryWhilePassing(
      policy,
      [&](std::uint32_t* code) {
        return platform::ReadWholeFile(FileName, platform::Share::kNone, &bytes, code);
      },
      pause, &error);
  if (!read) throw ProtectedFileReadError(error, ReadFailureReason(error));
  return bytes;
}

}  // namespace veilbox
