// A list of text lines that loads and saves whole files the way the
// program's text files are read and written:
// - reading: a line ends at a CR, at an LF, or at a CR LF pair; a last line
//   without a line end is still a line; there is no empty line after a
//   final line end; reading stops at the first byte 0; 0 bytes give no
//   lines;
// - writing: every line, the last included, is followed by CR LF; no lines
//   give 0 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace veilbox {

// The bytes that reading sees: everything before the first byte 0.
inline std::string_view VisibleText(std::string_view bytes) {
  const std::size_t nul = bytes.find('\0');
  return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}

// Walks the lines of a text under the reading rules. `text` must hold no
// byte 0 (see VisibleText).
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  // The next line without its line end; false when there is none.
  bool Next(std::string_view* line) {
    if (pos_ >= text_.size()) return false;
    const char* const begin = text_.data() + pos_;
    const char* const end = text_.data() + text_.size();
    const char* p = begin;
    for (;;) {
      // Eight bytes at a time while none of them is below 14; CR and LF are.
      while (end - p >= 8 && !HasByteBelow14(p)) p += 8;
      const char* const stop = end - p >= 8 ? p + 8 : end;
      while (p < stop && *p != '\r' && *p != '\n') ++p;
      if (p < stop || p == end) break;
    }
    *line = std::string_view(begin, static_cast<std::size_t>(p - begin));
    if (p < end && *p == '\r') {
      ++p;
      if (p < end && *p == '\n') ++p;
    } else if (p < end) {
      ++p;  // an LF
    }
    pos_ = static_cast<std::size_t>(p - text_.data());
    return true;
  }

  // Offset of the next unread byte.
  std::size_t position() const { return pos_; }

 private:
  static bool HasByteBelow14(const char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    return ((word - kOnes * 14) & ~word & (kOnes * 0x80)) != 0;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

class TextList {
 public:
  std::size_t Count() const { return lines_.size(); }
  std::string& operator[](std::size_t index) { return lines_[index]; }
  const std::string& operator[](std::size_t index) const { return lines_[index]; }
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Delete(std::size_t index) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  void Clear() { lines_.clear(); }

  std::vector<std::string>::iterator begin() { return lines_.begin(); }
  std::vector<std::string>::iterator end() { return lines_.end(); }
  std::vector<std::string>::const_iterator begin() const { return lines_.begin(); }
  std::vector<std::string>::const_iterator end() const { return lines_.end(); }

  // Replaces the lines with those read from bytes.
  void SetText(std::string_view bytes);
  // The lines as written: each followed by CR LF.
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
};

}  // namespace veilbox
