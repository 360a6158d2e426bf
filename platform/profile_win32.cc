#include <windows.h>

#include <vector>

#include "platform/profile.h"

namespace veilbox::platform {

std::string GetProfileValue(const std::string& section, const std::string& key,
                            const std::string& default_value, const std::string& file_name) {
  // The function cuts a value that does not fit and then returns the
  // buffer size less one: grow the buffer until the value fits.
  std::vector<char> buffer(1024);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD got = GetPrivateProfileStringA(section.c_str(), key.c_str(), default_value.c_str(),
                                               buffer.data(), size, file_name.c_str());
    if (got + 1 < size || buffer.size() >= (std::size_t{1} << 30)) {
      return std::string(buffer.data(), got < size ? got : size - 1);
    }
    buffer.resize(buffer.size() * 4);
  }
}

bool SetProfileValue(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file_name) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                    file_name.c_str()) != FALSE;
}

}  // namespace veilbox::platform
