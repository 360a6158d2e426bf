// A compile run in small: catches the soft ends, writes a plain file,
// runs a compiler (signal-recorder) and passes soft ends on to it. When one
// comes it waits for the compiler, deletes the plain file, notes that it
// cleaned up, and ends by the same signal.
//   interrupted-run DIR RECORDER
// Writes DIR/plain, DIR/ready, DIR/cleaned; the compiler writes
// DIR/child-ready and DIR/child-signal.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/child_process.h"
#include "platform/interrupts.h"

namespace {
void Touch(const std::string& path, const char* text) {
  if (FILE* f = std::fopen(path.c_str(), "w")) {
    std::fputs(text, f);
    std::fclose(f);
  }
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string dir = argv[1];
  int interrupt = 0;
  {
    veilbox::platform::InterruptCatcher catcher;
    Touch(dir + "/plain", "plain text");
    veilbox::platform::ChildProcess compiler;
    std::uint32_t error = 0, code = 0;
    if (!compiler.Start({argv[2], dir + "/child-ready", dir + "/child-signal"}, &error)) return 1;
    {
      veilbox::platform::InterruptForwarding forwarding(compiler.pid());
      while (access((dir + "/child-ready").c_str(), F_OK) != 0) usleep(2000);
      Touch(dir + "/ready", "ready");
      compiler.Wait(-1, &code);
    }
    std::remove((dir + "/plain").c_str());
    interrupt = veilbox::platform::PendingInterrupt();
    Touch(dir + "/cleaned", std::to_string(code).c_str());
  }
  if (interrupt != 0) veilbox::platform::EndByInterrupt(interrupt, 252);
  return 0;
}
