// Takes the run lock, says so in a file, holds the lock for a while and
// ends, releasing it.
//   run-lock-holder READY_FILE HOLD_MS
// READY_FILE receives "acquired" or "taken-over". HOLD_MS -1 holds until
// the process is ended from outside.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/run_lock.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  veilbox::platform::RunLock lock;
  std::string err;
  auto result = lock.Acquire(-1, &err);
  const char* what = result == veilbox::platform::LockResult::kAcquired    ? "acquired"
                     : result == veilbox::platform::LockResult::kTakenOver ? "taken-over"
                                                                           : nullptr;
  if (!what) {
    std::fprintf(stderr, "run-lock-holder: %s\n", err.c_str());
    return 1;
  }
  const std::string ready = argv[1];
  {
    std::ofstream out(ready + ".tmp", std::ios::binary | std::ios::trunc);
    out << what;
  }
  std::rename((ready + ".tmp").c_str(), ready.c_str());
  const long hold_ms = std::strtol(argv[2], nullptr, 10);
  if (hold_ms < 0)
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(hold_ms));
  return 0;
}
