#include "platform/lock_file_posix.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/interrupts.h"

namespace veilbox::platform {

std::optional<LockResult> FlockWaiting(int fd, const std::string& path, const LockWait& wait,
                                       std::string* err) {
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return std::nullopt;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      *err = "cannot lock " + path + ": " + std::strerror(errno);
      close(fd);
      return LockResult::kUnavailable;
    }
    if (auto verdict = wait.Verdict()) {
      close(fd);
      return verdict;
    }
    WaitForInterrupt(wait.NextSliceMs());
  }
}

bool StillTheLockFile(int fd, const std::string& path) {
  struct stat held, named;
  return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

}  // namespace veilbox::platform
