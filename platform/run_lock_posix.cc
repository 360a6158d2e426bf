#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/interrupts.h"
#include "platform/lock_file_posix.h"
#include "platform/lock_wait.h"
#include "platform/run_lock.h"
#include "standin/prefix.h"

namespace veilbox::platform {
namespace {

std::string LockPath() { return standin::PrefixDir() + "/run.lock"; }

// The process id the file holds, 0 when it holds none.
std::uint32_t ReadHolder(int fd) {
  char text[32] = {};
  ssize_t got = pread(fd, text, sizeof text - 1, 0);
  if (got <= 0) return 0;
  unsigned long pid = std::strtoul(text, nullptr, 10);
  return pid <= 0x7FFFFFFFul ? static_cast<std::uint32_t>(pid) : 0;
}

}  // namespace

RunLock::~RunLock() { Release(); }

LockResult RunLock::Acquire(int timeout_ms, std::string* err) {
  if (held_) return LockResult::kAcquired;
  std::string prefix = standin::PrefixDir();
  if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
    *err = "cannot create " + prefix + ": " + std::strerror(errno);
    return LockResult::kUnavailable;
  }
  const std::string path = LockPath();
  LockWait wait(timeout_ms);
  for (;;) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      *err = "cannot open " + path + ": " + std::strerror(errno);
      return LockResult::kUnavailable;
    }
    if (auto result = FlockWaiting(fd, path, wait, err)) return *result;
    if (StillTheLockFile(fd, path)) {
      handle_ = fd;
      break;
    }
    close(fd);  // locked a file that is gone: lock the one that has the name
  }
  const int fd = static_cast<int>(handle_);
  dead_holder_ = ReadHolder(fd);
  std::string me = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) != 0 || pwrite(fd, me.data(), me.size(), 0) < 0) {
    // The lock is held all the same; only the note of the holder is missing.
  }
  held_ = true;
  return dead_holder_ != 0 ? LockResult::kTakenOver : LockResult::kAcquired;
}

void RunLock::Release() {
  if (!held_) return;
  const int fd = static_cast<int>(handle_);
  if (ftruncate(fd, 0) != 0) {
    // A stale note only makes the next holder report a dead one.
  }
  flock(fd, LOCK_UN);
  close(fd);
  handle_ = -1;
  held_ = false;
}

}  // namespace veilbox::platform
