// Standard error stands in for the debugger output, and for the message
// boxes: each is one line there, a debugger line with the caption "Debug".
// A standard error that is closed or leads nowhere (a pipe whose reader is
// gone) makes the write fail; it never raises SIGPIPE, which would
// otherwise count as a soft end of the run.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/debug_output.h"
#include "platform/stderr_line_posix.h"

namespace veilbox::platform {
namespace {

// Writes all of text to fd with SIGPIPE held back; a SIGPIPE the write
// itself raised is taken back, any other stays pending.
bool WriteWithoutSigpipe(int fd, const std::string& text) {
  sigset_t pipe_only, old;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_only, &old);
  sigset_t pending;
  sigpending(&pending);
  const bool was_pending = sigismember(&pending, SIGPIPE) == 1;

  bool ok = true;
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      if (n < 0 && errno == EPIPE && !was_pending) {
        const timespec none{0, 0};
        while (sigtimedwait(&pipe_only, nullptr, &none) < 0 && errno == EINTR) {
        }
      }
      ok = false;
      break;
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return ok;
}

}  // namespace

bool WriteStandardErrorLine(const std::string& caption, const std::string& text) {
  std::string line = caption;
  line += ": ";
  line += text;
  line += '\n';
  return WriteWithoutSigpipe(STDERR_FILENO, line);
}

void DebugOutput(const std::string& text) {
  WriteStandardErrorLine("Debug", text);  // nothing else to tell when it fails
}

}  // namespace veilbox::platform
