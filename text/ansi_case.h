// Case rules for 8-bit texts in the Windows ANSI code page (1252): the
// letters a to z and the accented Latin letters fold to one case; every
// other byte is its own case.
#pragma once

#include <string>
#include <string_view>

namespace veilbox::text {

char AnsiUpperChar(char c);
char AnsiLowerChar(char c);
// Equal when compared without regard to case.
bool AnsiSameText(std::string_view a, std::string_view b);

}  // namespace veilbox::text
