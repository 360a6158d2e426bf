// JSON texts from the program's 8-bit texts.
#pragma once

#include <string>
#include <string_view>

namespace veilbox {

// text as a JSON string, quotes included. Bytes from 0x80 on are taken as
// the characters U+0080 to U+00FF and, like every control character, written
// as \u escapes, so the result is plain ASCII whatever the text holds.
std::string JsonString(std::string_view text);

}  // namespace veilbox
