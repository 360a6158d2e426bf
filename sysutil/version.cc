#include "sysutil/version.h"

#include "veilbox_version.h"

namespace veilbox {

std::string VersionNumber() { return VEILBOX_VERSION; }

std::string VersionText() {
  const std::string commit = VEILBOX_COMMIT;
  return commit.empty() ? VersionNumber() : VersionNumber() + " (commit " + commit + ")";
}

}  // namespace veilbox
