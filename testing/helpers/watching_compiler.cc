// Stands in for Citect's project compiler in the scenarios of runs that
// do not end the normal way. It takes its orders from its arguments, which
// the run passes on unchanged (switches, so the project name stays the
// run's last plain argument):
//
//   -see=FILE   a plain file (Windows path) that must be there when the
//               compiler starts and still be there when it ends; repeats
//   -wait=MS    milliseconds to run
//   -exit=N     the exit code (default 0)
//   -crash      crash (an access violation) once the wait is over
//
// A file of -see that is missing at either end makes the exit code 9. On
// Windows a crash ends the process with the exception's code, as it does
// where no crash dialog and no debugger step in.
#ifdef _WIN32
#include <windows.h>
#endif

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"

namespace {

bool StartsWith(const std::string& text, const char* head) { return text.rfind(head, 0) == 0; }

#ifdef _WIN32
LONG WINAPI EndWithTheException(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }
#endif

bool AllThere(const std::vector<std::string>& files) {
  for (const std::string& file : files)
    if (!veilbox::platform::FileExists(file)) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> see;
  long wait_ms = 0;
  int code = 0;
  bool crash = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (StartsWith(arg, "-see=")) see.push_back(arg.substr(5));
    if (StartsWith(arg, "-wait=")) wait_ms = std::atol(arg.c_str() + 6);
    if (StartsWith(arg, "-exit=")) code = std::atoi(arg.c_str() + 6);
    if (arg == "-crash") crash = true;
  }
  const bool seen_at_start = AllThere(see);
  std::this_thread::sleep_for(std::chrono::milliseconds(wait_ms));
  if (crash) {
#ifdef _WIN32
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(EndWithTheException);
#endif
    // Through a pointer the compiler cannot see to be null.
    volatile int* volatile nowhere = reinterpret_cast<int*>(std::strtoul("0", nullptr, 10));
    *nowhere = 1;
  }
  return seen_at_start && AllThere(see) ? code : 9;
}
