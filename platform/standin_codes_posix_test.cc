// The stand-in names the Windows numbers it speaks in without including
// the seam (standin/error_codes.h, standin/reg_types.h); the seam passes
// them through unchanged, so both names must stand for the same number.
#include <cstdint>
#include <type_traits>

#include "platform/files.h"
#include "platform/registry.h"
#include "standin/error_codes.h"
#include "standin/reg_types.h"

namespace veilbox::platform {
namespace {

static_assert(standin::kErrorFileNotFound == kErrorFileNotFound);
static_assert(standin::kErrorPathNotFound == kErrorPathNotFound);
static_assert(standin::kErrorTooManyOpenFiles == kErrorTooManyOpenFiles);
static_assert(standin::kErrorAccessDenied == kErrorAccessDenied);
static_assert(standin::kErrorNotEnoughMemory == kErrorNotEnoughMemory);
static_assert(standin::kErrorSharingViolation == kErrorSharingViolation);
static_assert(standin::kErrorFileExists == kErrorFileExists);
static_assert(standin::kErrorDiskFull == kErrorDiskFull);
static_assert(standin::kErrorInvalidName == kErrorInvalidName);
static_assert(standin::kErrorFilenameTooLong == kErrorFilenameTooLong);
static_assert(standin::kErrorInvalidParameter == static_cast<std::uint32_t>(kRegInvalidParameter));

static_assert(std::is_same_v<standin::KeyRoot, RegistryRoot>);
static_assert(standin::kHkeyClassesRoot == kHkeyClassesRoot);
static_assert(standin::kHkeyCurrentUser == kHkeyCurrentUser);
static_assert(standin::kHkeyLocalMachine == kHkeyLocalMachine);
static_assert(standin::kHkeyUsers == kHkeyUsers);
static_assert(standin::kRegNone == kRegNone);
static_assert(standin::kRegSz == kRegSz);
static_assert(standin::kRegExpandSz == kRegExpandSz);
static_assert(standin::kRegBinary == kRegBinary);
static_assert(standin::kRegDword == kRegDword);
static_assert(standin::kRegMultiSz == kRegMultiSz);

}  // namespace
}  // namespace veilbox::platform
