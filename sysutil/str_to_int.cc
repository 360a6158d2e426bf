#include <cstdint>

#include "sysutil/errors.h"

namespace veilbox {

int StrToInt(const std::string& text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) throw ConvertError(text);
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') throw ConvertError(text);
    value = value * 10 + (c - '0');
    if (value > static_cast<std::int64_t>(INT32_MAX) + 1) throw ConvertError(text);
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) throw ConvertError(text);
  return static_cast<int>(value);
}

}  // namespace veilbox
