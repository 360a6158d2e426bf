// The directory that stands in for the Windows machine in the POSIX build:
// $VEILBOX_PREFIX, or $HOME/.veilbox without it. It holds registry.reg,
// the Windows directory windows/ and the drives drive_c/, drive_d/, ...
#pragma once

#include <string>

namespace veilbox::standin {

std::string PrefixDir();

}  // namespace veilbox::standin
