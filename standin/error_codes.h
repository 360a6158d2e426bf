// The Windows system error codes that the stand-in's calls give back, with
// the values Windows gives them. The stand-in keeps its own names for them
// so that it depends on nothing above it; the seam's names
// (platform/files.h) are the same numbers, which
// platform/standin_codes_posix_test.cc checks at compile time.
#pragma once

#include <cstdint>

namespace veilbox::standin {

using WindowsError = std::uint32_t;

inline constexpr WindowsError kErrorFileNotFound = 2;
inline constexpr WindowsError kErrorPathNotFound = 3;
inline constexpr WindowsError kErrorTooManyOpenFiles = 4;
inline constexpr WindowsError kErrorAccessDenied = 5;
inline constexpr WindowsError kErrorNotEnoughMemory = 8;
inline constexpr WindowsError kErrorGenFailure = 31;
inline constexpr WindowsError kErrorSharingViolation = 32;
inline constexpr WindowsError kErrorFileExists = 80;
inline constexpr WindowsError kErrorInvalidParameter = 87;
inline constexpr WindowsError kErrorDiskFull = 112;
inline constexpr WindowsError kErrorInvalidName = 123;
inline constexpr WindowsError kErrorFilenameTooLong = 206;
inline constexpr WindowsError kErrorIoDevice = 1117;
inline constexpr WindowsError kErrorCantResolveFilename = 1921;

}  // namespace veilbox::standin
