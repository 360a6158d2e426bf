#include "sysutil/text_utils.h"

namespace veilbox {

std::string AddBackslash(std::string_view text) {
  std::string result(text);
  if (RightStr(text, 1) != "\\") result += '\\';
  return result;
}

std::string LeftStr(std::string_view text, std::int32_t n) {
  if (n <= 0) return {};
  if (text.size() <= static_cast<std::size_t>(n)) return std::string(text);
  return std::string(text.substr(0, static_cast<std::size_t>(n)));
}

std::string RightStr(std::string_view text, std::int32_t n) {
  if (n <= 0) return {};
  if (text.size() <= static_cast<std::size_t>(n)) return std::string(text);
  return std::string(text.substr(text.size() - static_cast<std::size_t>(n)));
}

std::string CopyFrom(std::string_view text, std::int32_t p) {
  if (p <= 1) return std::string(text);
  const auto start = static_cast<std::size_t>(p - 1);
  if (start >= text.size()) return {};
  return std::string(text.substr(start));
}

std::int32_t CountChar(std::string_view text, char ch) {
  std::int32_t count = 0;
  for (char c : text)
    if (c == ch) ++count;
  return count;
}

std::string ExtractToken(std::string_view text, char sep, std::int32_t index) {
  std::string result;
  std::int32_t component = 1;
  for (char c : text) {
    if (c == sep)
      ++component;
    else if (component == index)
      result += c;
  }
  return result;
}

std::string UpperAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return result;
}

std::string Hex16(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4)
    text[static_cast<std::size_t>(i)] = kDigits[value & 15];
  return text;
}

}  // namespace veilbox
