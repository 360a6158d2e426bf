// The program's version, from the build: "1.0.0", and with the commit it
// was built from where that is known, "1.0.0 (commit 0123abc)".
#pragma once

#include <string>

namespace veilbox {

std::string VersionNumber();
std::string VersionText();

}  // namespace veilbox
