#include "app/decrypt_workers.h"

#include <cstdlib>
#include <thread>

namespace veilbox {
namespace {

constexpr unsigned kMaxSetWorkers = 64;

}  // namespace

unsigned DecryptWorkerCount(const char* setting, unsigned processors) {
  if (setting && *setting) {
    unsigned value = 0;
    const char* p = setting;
    for (; *p >= '0' && *p <= '9' && value <= kMaxSetWorkers; ++p)
      value = value * 10 + static_cast<unsigned>(*p - '0');
    if (*p == '\0' && value >= 1) return value < kMaxSetWorkers ? value : kMaxSetWorkers;
    if (*p >= '0' && *p <= '9') return kMaxSetWorkers;  // a very large number
  }
  if (processors == 0) return 1;
  return processors < kMaxDecryptWorkers ? processors : kMaxDecryptWorkers;
}

unsigned DecryptWorkerCount() {
  return DecryptWorkerCount(std::getenv(kDecryptWorkersVariable),
                            std::thread::hardware_concurrency());
}

}  // namespace veilbox
