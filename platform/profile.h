// Private-profile (INI) files of the platform seam, as
// GetPrivateProfileStringA and WritePrivateProfileStringA handle them. A
// bare file name (no backslash or slash) names a file in the Windows
// directory. Texts of any length: no buffer cuts a value or a file name
// short of the platform's own limits.
#pragma once

#include <string>

namespace veilbox::platform {

// The value of key in section (trimmed of blanks, a pair of enclosing
// quotes dropped), or the default, trimmed of trailing blanks, when the
// file, the section or the key is missing.
std::string GetProfileValue(const std::string& section, const std::string& key,
                            const std::string& default_value, const std::string& file_name);

// Sets key in section to value, creating the file, the section and the
// key as needed and keeping everything else. False when it cannot be
// written.
bool SetProfileValue(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file_name);

}  // namespace veilbox::platform
