// A ProtectedFile is named after its plain file with ".Veilbox" appended.
#pragma once

#include <cstdint>
#include <string>

#include "sysutil/text_utils.h"

namespace veilbox {

inline constexpr char kProtectedExtension[] = ".Veilbox";
inline constexpr std::int32_t kProtectedExtensionLength = sizeof kProtectedExtension - 1;

// The plain file's name of a ProtectedFile's name: the name less its last
// 8 characters, whatever they are.
inline std::string PlainFileName(const std::string& protected_name) {
  return LeftStr(protected_name,
                 static_cast<std::int32_t>(protected_name.size()) - kProtectedExtensionLength);
}

}  // namespace veilbox
