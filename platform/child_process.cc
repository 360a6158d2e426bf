#include "platform/child_process.h"

namespace veilbox::platform {

ChildProcess::~ChildProcess() {
  if (running()) {
    Kill();
    std::uint32_t code;
    Wait(-1, &code);
  }
  ReleaseHandle();
}

}  // namespace veilbox::platform
