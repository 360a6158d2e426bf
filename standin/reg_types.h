// The registry's predefined root keys and value types, with the values
// Windows gives them, as the stand-in's registry file knows them. The
// stand-in keeps its own names so that it depends on nothing above it; the
// seam's names (platform/registry.h) are the same numbers, which
// platform/standin_codes_posix_test.cc checks at compile time.
#pragma once

#include <cstdint>

namespace veilbox::standin {

// A predefined root key (HKEY_CURRENT_USER and so on).
using KeyRoot = std::uint32_t;
inline constexpr KeyRoot kHkeyClassesRoot = 0x80000000u;
inline constexpr KeyRoot kHkeyCurrentUser = 0x80000001u;
inline constexpr KeyRoot kHkeyLocalMachine = 0x80000002u;
inline constexpr KeyRoot kHkeyUsers = 0x80000003u;
inline constexpr KeyRoot kHkeyCurrentConfig = 0x80000005u;

// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

}  // namespace veilbox::standin
