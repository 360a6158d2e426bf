// Test helper: sleep-ms MS
// Sleeps MS milliseconds and ends with exit code 0.
#include <chrono>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
  if (argc < 2) return 200;
  std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(argv[1])));
  return 0;
}
