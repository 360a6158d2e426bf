#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/dir_lock.h"
#include "platform/files.h"
#include "platform/interrupts.h"
#include "platform/lock_file_posix.h"
#include "platform/lock_wait.h"
#include "standin/case_blind_dir.h"

namespace veilbox::platform {
namespace {

// Opens the lock file at path (the native name its case-blind lookup has
// just given), creating it where nothing stands; read-only where another
// account made it (flock needs no write access). A file it creates is
// noted in the stand-in's kept listing of its directory, as the file
// service notes the files it makes, so that the next lookup there need
// not read the directory again.
int OpenLockFile(const std::string& path) {
  constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  int fd = -1;
  for (int tries = 0; tries < 8; ++tries) {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | kFlags, 0666);
    if (fd >= 0) {
      const std::size_t slash = path.rfind('/');
      if (slash != std::string::npos && slash + 1 < path.size())
        standin::NoteEntryAdded(slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1));
      return fd;
    }
    if (errno != EEXIST && errno != EACCES) return fd;
    const bool refused = errno == EACCES;
    fd = open(path.c_str(), O_RDWR | kFlags);
    if (fd < 0 && errno == EACCES) fd = open(path.c_str(), O_RDONLY | kFlags);
    // Gone between the two opens (its holder removed it): made anew.
    if (fd >= 0 || errno != ENOENT || refused) return fd;
  }
  return fd;
}

std::string LockFilePath(const std::string& dir) {
  std::string windows_path = dir;
  if (windows_path.empty() || windows_path.back() != '\\') windows_path += '\\';
  return windows_path + kDirLockName;
}

// An immutable directory takes no new entries, whatever its mode says.
bool Immutable(const std::string& native_dir) {
  const int fd = open(native_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  const bool immutable = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL);
  close(fd);
  return immutable;
}

// True when the entry open as fd is a lock file of Veilbox's: a regular
// file with one name that is empty (just made), starts with the lock's
// first line, or holds only a process id (as earlier versions wrote it).
// Anything else is someone's, and is neither written nor removed.
bool IsOurLockFile(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) return false;
  if (st.st_size == 0) return true;
  char head[64];
  const ssize_t got = pread(fd, head, sizeof head, 0);
  if (got <= 0) return false;
  const std::string text(head, static_cast<std::size_t>(got));
  if (text.rfind(kDirLockFirstLine, 0) == 0 && text.size() > std::strlen(kDirLockFirstLine) &&
      text[std::strlen(kDirLockFirstLine)] == '\n')
    return true;
  const std::size_t digits = text.find_first_not_of("0123456789");
  return st.st_size < static_cast<off_t>(sizeof head) && digits > 0 &&
         digits != std::string::npos && text.substr(digits) == "\n";
}

}  // namespace

std::string DirLock::CreateRefusal(const std::string& dir) {
  const std::string path = NativePath(LockFilePath(dir));
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) return {};
  const std::string native_dir = NativePath(dir);
  int error = 0;
  if (faccessat(AT_FDCWD, native_dir.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    error = errno;
  else if (Immutable(native_dir))
    error = EPERM;
  if (error == 0) return {};
  // Refused the creation, OpenLockFile tries to open one already there.
  if (error == EACCES) error = ENOENT;
  return "cannot open " + path + ": " + std::strerror(error);
}

std::string DirLock::NotOurs(const std::string& dir) {
  return NativePath(LockFilePath(dir)) + " is not Veilbox's lock file: left as it is";
}

DirLock::HeldNow DirLock::IsHeldNow(const std::string& path, std::string* head) {
  head->clear();
  const std::string native = NativePath(path);
  const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? HeldNow::kNo : HeldNow::kUnknown;
  char bytes[64];
  const ssize_t got = pread(fd, bytes, sizeof bytes, 0);
  if (got > 0) head->assign(bytes, static_cast<std::size_t>(got));
  // A shared lock is refused only while a holder keeps its exclusive one;
  // closing the descriptor lets go of it at once.
  HeldNow held = HeldNow::kNo;
  if (flock(fd, LOCK_SH | LOCK_NB) != 0)
    held = errno == EWOULDBLOCK ? HeldNow::kYes : HeldNow::kUnknown;
  close(fd);
  return got < 0 && held == HeldNow::kNo ? HeldNow::kUnknown : held;
}

DirLock::~DirLock() { Release(); }

LockResult DirLock::Acquire(const std::string& dir, int timeout_ms, std::string* err) {
  if (held_) return LockResult::kAcquired;
  const std::string windows_path = LockFilePath(dir);
  LockWait wait(timeout_ms);
  for (;;) {
    // Looked up afresh each time: the holder waited for may have changed
    // the directory meanwhile.
    const std::string path = NativePath(windows_path);
    const int fd = OpenLockFile(path);
    if (fd < 0) {
      *err = "cannot open " + path + ": " + std::strerror(errno);
      return LockResult::kUnavailable;
    }
    if (auto result = FlockWaiting(fd, path, wait, err)) return *result;
    if (!StillTheLockFile(fd, path)) {
      close(fd);  // its holder removed it: lock the one that has the name now
      continue;
    }
    if (!IsOurLockFile(fd)) {
      close(fd);
      *err = NotOurs(dir);
      return LockResult::kUnavailable;
    }
    struct stat st;
    // A lock file with content was left by a holder that died: a live one
    // holds it until it removes it.
    const bool looked = fstat(fd, &st) == 0;
    const bool stale = looked && st.st_size > 0;
    const std::string me = std::string(kDirLockFirstLine) + "\n" + std::to_string(getpid()) + "\n";
    // Only a file that may hold something is emptied: ext4 takes the truncation of a
    // file to nothing for a rewrite by truncation and writes the file out
    // when it is closed, and the close after the removal then waits for
    // the disk, a few milliseconds for each directory the run locked.
    if (((stale || !looked) && ftruncate(fd, 0) != 0) || pwrite(fd, me.data(), me.size(), 0) < 0) {
      // Held all the same (opened read-only); the note only names the holder.
    }
    SetAttributes(windows_path, kAttrHidden);
    handle_ = fd;
    path_ = path;
    held_ = true;
    return stale ? LockResult::kTakenOver : LockResult::kAcquired;
  }
}

void DirLock::Release() {
  if (!held_) return;
  // Removed while still locked: a waiter that opened it finds it gone and
  // makes a new one.
  unlink(path_.c_str());
  close(static_cast<int>(handle_));
  handle_ = -1;
  held_ = false;
}

}  // namespace veilbox::platform
