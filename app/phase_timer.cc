#include "app/phase_timer.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace veilbox {

void MarkPhase(const char* label) {
  const char* path = std::getenv(kTraceTimingsVariable);
  if (!path || !*path) return;
  const long long now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
  std::FILE* file = std::fopen(path, "ab");
  if (!file) return;
  std::fprintf(file, "%s %lld\n", label, now);
  std::fclose(file);
}

}  // namespace veilbox
