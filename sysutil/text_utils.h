// Small text functions on 8-bit texts. Positions and counts are counted
// from 1, as the rest of the program counts them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace veilbox {

// The text with a backslash appended unless it already ends in one; the
// empty text gives a single backslash.
std::string AddBackslash(std::string_view text);
// The first n characters, or the whole text when it is not longer.
std::string LeftStr(std::string_view text, std::int32_t n);
// The last n characters, or the whole text when it is not longer.
std::string RightStr(std::string_view text, std::int32_t n);
// The characters from position p (counted from 1) to the end.
std::string CopyFrom(std::string_view text, std::int32_t p);

// Number of bytes of text equal to ch.
std::int32_t CountChar(std::string_view text, char ch);
// Component `index` (from 1) of text split at sep; empty when out of range.
std::string ExtractToken(std::string_view text, char sep, std::int32_t index);

// Upper-cases the letters a to z only; every other byte stays.
std::string UpperAscii(std::string_view text);

// value as 16 upper-case hex digits, the most significant first.
std::string Hex16(std::uint64_t value);

}  // namespace veilbox
