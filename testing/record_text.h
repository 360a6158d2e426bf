// One-line records written by the test helpers and read by the tests:
// "key value" lines, the value escaped so that it holds no line break.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veilbox::testing {

// Bytes below 32, above 126 and the backslash become \xHH.
inline std::string EscapeRecordValue(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 32 || b > 126 || c == '\\') {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

inline std::string UnescapeRecordValue(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 2, 2)), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The records of a file's text: (key, unescaped value) in order.
inline std::vector<std::pair<std::string, std::string>> ParseRecords(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> records;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t blank = line.find(' ');
    if (!line.empty()) {
      records.emplace_back(std::string(line.substr(0, blank)),
                           blank == std::string_view::npos
                               ? std::string()
                               : UnescapeRecordValue(line.substr(blank + 1)));
    }
    pos = end + 1;
  }
  return records;
}

}  // namespace veilbox::testing
