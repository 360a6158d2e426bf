// POSIX stand-in for the Windows file service.
//
// Paths: see NativePath. Attributes: hidden, system, archive and read-only
// are kept the way Wine and Samba keep them, as the extended attribute
// user.DOSATTRIB holding the text "0x2" and so on; read-only is also
// mirrored in the write permission bits, so a file without them reads as
// read-only. Where the file system has no extended attributes, hidden,
// system and archive are silently not kept.
//
// Sharing: every open takes an advisory flock, shared for Share::kReadWrite
// and exclusive for Share::kNone (and for CreateAlways), so two openers
// that Windows would refuse see a sharing violation (32) here as well.
// Programs that do not use flock are not held off.

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <unordered_map>

#include "platform/files.h"
#include "standin/case_blind_dir.h"
#include "standin/posix_errors.h"
#include "standin/prefix.h"
#include "standin/wildcard_match.h"

namespace veilbox::platform {
namespace {

constexpr char kDosAttrName[] = "user.DOSATTRIB";
// The attributes kept in the extended attribute.
constexpr std::uint32_t kStoredAttributes =
    kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string JoinPath(const std::string& base, std::string_view component) {
  if (base.empty()) return std::string(component);
  if (base.back() == '/') return base + std::string(component);
  return base + "/" + std::string(component);
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Appends the slash-separated components of rest to base, each one with
// the letter case it has on disk where only a case-blind match exists.
std::string ResolveComponents(std::string base, std::string_view rest) {
  bool missing = false;
  std::size_t pos = 0;
  while (pos <= rest.size()) {
    std::size_t end = rest.find('/', pos);
    if (end == std::string_view::npos) end = rest.size();
    std::string_view component = rest.substr(pos, end - pos);
    pos = end + 1;
    if (component.empty()) continue;
    std::string candidate = JoinPath(base, component);
    if (!missing && component != "." && component != ".." && !PathExists(candidate)) {
      std::string actual = standin::FindEntryIgnoringCase(base, component);
      if (actual.empty())
        missing = true;
      else
        candidate = JoinPath(base, actual);
    }
    base = std::move(candidate);
  }
  if (!rest.empty() && rest.back() == '/' && (base.empty() || base.back() != '/')) base += '/';
  return base;
}

// The stored attributes; false (errno set) when they cannot be read, as
// opposed to none stored or none kept on this file system.
bool ReadStoredAttributesChecked(const std::string& native, std::uint32_t* attributes) {
  *attributes = 0;
  // Wine writes the text "0x%x"; Samba writes a longer record that starts
  // with the same zero-terminated text.
  std::string value(64, '\0');
  ssize_t n = ::getxattr(native.c_str(), kDosAttrName, value.data(), value.size());
  if (n < 0 && errno == ERANGE) {
    n = ::getxattr(native.c_str(), kDosAttrName, nullptr, 0);
    if (n > 0) {
      value.assign(static_cast<std::size_t>(n), '\0');
      n = ::getxattr(native.c_str(), kDosAttrName, value.data(), value.size());
    }
  }
  if (n < 0) return errno == ENODATA || errno == ENOTSUP;
  if (n < 3) return true;
  value.resize(static_cast<std::size_t>(n));
  if (value[0] != '0' || (value[1] != 'x' && value[1] != 'X')) return true;
  *attributes = static_cast<std::uint32_t>(std::strtoul(value.c_str() + 2, nullptr, 16)) &
                kStoredAttributes;
  return true;
}

// The stored attributes; none when they cannot be read.
std::uint32_t ReadStoredAttributes(const std::string& native) {
  std::uint32_t attributes = 0;
  ReadStoredAttributesChecked(native, &attributes);
  return attributes;
}

bool WriteStoredAttributes(const std::string& native, std::uint32_t attributes) {
  attributes &= kStoredAttributes;
  if (attributes == 0) {
    if (::removexattr(native.c_str(), kDosAttrName) == 0) return true;
    return errno == ENODATA || errno == ENOTSUP;
  }
  char text[16];
  std::snprintf(text, sizeof(text), "0x%x", static_cast<unsigned>(attributes));
  if (::setxattr(native.c_str(), kDosAttrName, text, std::strlen(text), 0) == 0) return true;
  // No extended attributes here: the attributes are not kept.
  return errno == ENOTSUP;
}

// The attributes of native, whose stat (or, for anything but a link, its
// lstat) is st.
std::uint32_t AttributesOfStat(const std::string& native, const struct stat& st) {
  std::uint32_t attributes = ReadStoredAttributes(native);
  if (S_ISDIR(st.st_mode)) {
    attributes = (attributes & ~kAttrReadOnly) | kAttrDirectory;
  } else if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    attributes |= kAttrReadOnly;
  }
  return attributes == 0 ? kAttrNormal : attributes;
}

std::uint32_t AttributesOfNative(const std::string& native) {
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) return kInvalidAttributes;
  return AttributesOfStat(native, st);
}

// Notes a change this process made to a directory in its kept listing.
void NoteCreated(const std::string& native) {
  const std::size_t slash = native.rfind('/');
  if (slash == std::string::npos || slash + 1 == native.size()) return;
  standin::NoteEntryAdded(slash == 0 ? "/" : native.substr(0, slash), native.substr(slash + 1));
}
void NoteRemoved(const std::string& native) {
  const std::size_t slash = native.rfind('/');
  if (slash == std::string::npos || slash + 1 == native.size()) return;
  standin::NoteEntryRemoved(slash == 0 ? "/" : native.substr(0, slash), native.substr(slash + 1));
}

// Large buffers that are filled and then worked on in place fault in far
// fewer times with huge pages, where the system offers them on request.
void AskForHugePages(char* begin, std::size_t size) {
  constexpr std::uintptr_t kHuge = 2u << 20;
  if (size < 4 * kHuge) return;
  const auto start = (reinterpret_cast<std::uintptr_t>(begin) + kHuge - 1) & ~(kHuge - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(begin) + size) & ~(kHuge - 1);
  if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

// Takes the advisory lock that stands in for the share mode.
bool LockForShare(int fd, Share share, std::uint32_t* error) {
  const int op = (share == Share::kNone ? LOCK_EX : LOCK_SH) | LOCK_NB;
  if (::flock(fd, op) == 0) return true;
  if (errno == EWOULDBLOCK) {
    *error = kErrorSharingViolation;
    return false;
  }
  return true;  // no locks on this file system: nothing to keep off
}

}  // namespace

namespace {

// Directories resolved so far: the directory part of a path as the caller
// spelled it (below its base) -> the native directory with the case on
// disk. A kept one is used while it still is a directory.
struct ResolvedDirectories {
  std::mutex mutex;
  std::unordered_map<std::string, std::string> by_spelling;
};

ResolvedDirectories& AllResolved() {
  static ResolvedDirectories* resolved = new ResolvedDirectories;  // lives until the process ends
  return *resolved;
}

bool PlainComponent(std::string_view component) {
  return !component.empty() && component != "." && component != "..";
}

// The native directory for base and the slash-separated dir_part, and its
// stat; false when it does not exist (or is no directory).
bool ResolveDirectory(const std::string& base, std::string_view dir_part, std::string* native,
                      struct stat* st) {
  std::string key = base;
  key += '\0';
  key += dir_part;
  ResolvedDirectories& all = AllResolved();
  {
    std::lock_guard<std::mutex> lock(all.mutex);
    auto hit = all.by_spelling.find(key);
    if (hit != all.by_spelling.end()) *native = hit->second;
  }
  if (!native->empty() && ::stat(native->c_str(), st) == 0 && S_ISDIR(st->st_mode)) return true;
  *native = ResolveComponents(base, dir_part);
  if (::stat(native->c_str(), st) != 0 || !S_ISDIR(st->st_mode)) {
    std::lock_guard<std::mutex> lock(all.mutex);
    all.by_spelling.erase(key);
    return false;
  }
  std::lock_guard<std::mutex> lock(all.mutex);
  all.by_spelling[key] = *native;
  return true;
}

}  // namespace

std::string NativePath(const std::string& path) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  std::string base;
  std::string_view rest = p;
  const bool unc = p.size() >= 2 && p[0] == '/' && p[1] == '/';
  if (p.size() >= 2 && p[1] == ':' &&
      ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'))) {
    base = standin::PrefixDir() + "/drive_" + FoldCase(p[0]);
    rest = std::string_view(p).substr(2);
    if (rest.empty()) return base;
  } else if (unc) {
    return p;  // network names have no stand-in
  } else if (!p.empty() && p[0] == '/') {
    base = "/";
  }
  // The common case, a plain name in a directory: the directory comes
  // from those resolved before (one stat), the name from the directory's
  // kept listing. A directory named with a slash at its end ("P\\") is
  // the name without it, the slash kept.
  std::size_t kept_slashes = 0;
  while (rest.size() - kept_slashes > 1 && rest[rest.size() - kept_slashes - 1] == '/')
    ++kept_slashes;
  const std::string_view whole = rest;
  rest.remove_suffix(kept_slashes);
  const std::size_t slash = rest.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? rest : rest.substr(slash + 1);
  const std::string_view dir_part =
      slash == std::string_view::npos ? std::string_view() : rest.substr(0, slash);
  if (PlainComponent(name) && !base.empty()) {
    std::string dir;
    struct stat st;
    if (ResolveDirectory(base, dir_part, &dir, &st)) {
      const std::string actual = standin::FindEntryIgnoringCase(dir, st, name);
      std::string native = JoinPath(dir, actual.empty() ? name : std::string_view(actual));
      if (kept_slashes > 0) native += '/';
      return native;
    }
  }
  return ResolveComponents(std::move(base), whole);
}

bool File::OpenExisting(const std::string& path, bool write, Share share, File* out,
                        std::uint32_t* error) {
  std::uint32_t ignored;
  if (!error) error = &ignored;
  const std::string native = NativePath(path);
  int fd = ::open(native.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) {
    *error = standin::WindowsErrorForPath(errno, native);
    return false;
  }
  File file;
  file.handle_ = fd;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    *error = kErrorAccessDenied;  // Windows opens no directory as a file
    return false;
  }
  if (write && (ReadStoredAttributes(native) & kAttrReadOnly)) {
    *error = kErrorAccessDenied;
    return false;
  }
  if (!LockForShare(fd, share, error)) return false;
  *out = std::move(file);
  return true;
}

bool File::CreateAlways(const std::string& path, File* out, std::uint32_t* error) {
  std::uint32_t ignored;
  if (!error) error = &ignored;
  const std::string native = NativePath(path);
  const std::uint32_t existing = AttributesOfNative(native);
  if (existing != kInvalidAttributes) {
    if (existing & kAttrDirectory) {
      *error = kErrorAccessDenied;
      return false;
    }
    if (existing & (kAttrHidden | kAttrSystem | kAttrReadOnly)) {
      *error = kErrorAccessDenied;
      return false;
    }
  }
  int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = standin::WindowsErrorForPath(errno, native);
    return false;
  }
  File file;
  file.handle_ = fd;
  NoteCreated(native);
  if (!LockForShare(fd, Share::kNone, error)) return false;
  // A file that is already empty is left alone: truncating it anyway makes
  // some file systems flush it at close, and its later removal waits.
  struct stat created;
  if ((::fstat(fd, &created) != 0 || created.st_size != 0) && ::ftruncate(fd, 0) != 0) {
    *error = standin::WindowsErrorFromErrno(errno);
    return false;
  }
  *out = std::move(file);
  return true;
}

namespace {

// Makes the new file's inode private and hidden, and shares it with no one.
bool PreparePrivate(int fd, std::uint32_t* error) {
  // The umask has narrowed the mode at most; this makes it exactly 0600.
  if (::fchmod(fd, 0600) != 0) {
    *error = standin::WindowsErrorFromErrno(errno);
    return false;
  }
  static constexpr char kHidden[] = "0x2";
  if (::fsetxattr(fd, kDosAttrName, kHidden, sizeof(kHidden) - 1, 0) != 0 && errno != ENOTSUP) {
    *error = standin::WindowsErrorFromErrno(errno);
    return false;
  }
  return LockForShare(fd, Share::kNone, error);
}

// An unnamed file in the directory, made private and hidden, then given its
// name: the name never shows a file that is not yet hidden, as CreateFile
// with FILE_ATTRIBUTE_HIDDEN never does. linkat never replaces an entry, a
// dangling link included. -1 with *unsupported when the file system has no
// unnamed files.
int CreateUnnamedThenLink(const std::string& native, bool* unsupported, std::uint32_t* error) {
  *unsupported = false;
  const std::string dir = std::filesystem::path(native).parent_path().string();
  const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
      *unsupported = true;
    } else {
      *error = standin::WindowsErrorForPath(errno, native);
    }
    return -1;
  }
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (!PreparePrivate(fd, error)) {
    ::close(fd);
    return -1;
  }
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, native.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    *error = standin::WindowsErrorForPath(errno, native);
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

bool File::CreateNewPrivate(const std::string& path, File* out, std::uint32_t* error) {
  std::uint32_t ignored;
  if (!error) error = &ignored;
  *error = 0;
  const std::string native = NativePath(path);
  bool unsupported = false;
  const int linked = CreateUnnamedThenLink(native, &unsupported, error);
  if (linked >= 0) {
    File file;
    file.handle_ = linked;
    NoteCreated(native);
    *out = std::move(file);
    return true;
  }
  if (!unsupported) return false;
  // O_EXCL fails on any entry at the name, a dangling link included; with
  // O_NOFOLLOW nothing is ever opened through a link.
  int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = standin::WindowsErrorForPath(errno, native);
    return false;
  }
  File file;
  file.handle_ = fd;
  if (!PreparePrivate(fd, error)) {
    file.Close();
    ::unlink(native.c_str());
    return false;
  }
  NoteCreated(native);
  *out = std::move(file);
  return true;
}

bool File::is_open() const { return handle_ >= 0; }

bool File::ReadAt(std::uint64_t offset, void* buffer, std::size_t n, std::size_t* got) {
  *got = 0;
  if (handle_ < 0) return false;
  char* p = static_cast<char*>(buffer);
  while (*got < n) {
    ssize_t r =
        ::pread(static_cast<int>(handle_), p + *got, n - *got, static_cast<off_t>(offset + *got));
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) break;
    *got += static_cast<std::size_t>(r);
  }
  return true;
}

bool File::WriteAt(std::uint64_t offset, const void* data, std::size_t n) {
  if (handle_ < 0) return false;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < n) {
    ssize_t w =
        ::pwrite(static_cast<int>(handle_), p + done, n - done, static_cast<off_t>(offset + done));
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(w);
  }
  return true;
}

std::optional<std::uint64_t> File::Size() {
  struct stat st;
  if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &st) != 0 || st.st_size < 0)
    return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool File::Sync() { return handle_ >= 0 && ::fsync(static_cast<int>(handle_)) == 0; }

void File::Close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
  append_offset_ = 0;
}

bool detail::OpenForWholeRead(const std::string& path, Share share, File* file, std::uint64_t* size,
                              std::uint32_t* error) {
  const std::string native = NativePath(path);
  // Non-blocking, so that a FIFO or a device standing at the name is
  // refused below instead of holding the open (or the read) for ever.
  const int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = standin::WindowsErrorForPath(errno, native);
    return false;
  }
  file->Close();
  file->handle_ = fd;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    *error = standin::WindowsErrorFromErrno(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *error = kErrorAccessDenied;  // Windows opens no directory as a file
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = kErrorBadFileType;
    return false;
  }
  if (!LockForShare(fd, share, error)) return false;
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

void detail::PrepareLargeBuffer(char* begin, std::size_t size) { AskForHugePages(begin, size); }

std::uint32_t detail::LastReadError() { return standin::WindowsErrorFromErrno(errno); }

std::uint32_t FileAttributes(const std::string& path) {
  return AttributesOfNative(NativePath(path));
}

bool SetAttributes(const std::string& path, std::uint32_t attributes) {
  const std::string native = NativePath(path);
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) return false;
  if (!WriteStoredAttributes(native, attributes)) return false;
  if (S_ISDIR(st.st_mode)) return true;
  mode_t mode = st.st_mode & 07777;
  if (attributes & kAttrReadOnly)
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    mode |= S_IWUSR;
  return mode == (st.st_mode & 07777) || ::chmod(native.c_str(), mode) == 0;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(NativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFile(const std::string& path, std::uint32_t* error) {
  std::uint32_t ignored;
  if (!error) error = &ignored;
  const std::string native = NativePath(path);
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0) {
    *error = standin::WindowsErrorForPath(errno, native);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *error = kErrorAccessDenied;
    return false;
  }
  if (S_ISREG(st.st_mode)) {
    // No link: what lstat told is what stat would tell.
    if (AttributesOfStat(native, st) & kAttrReadOnly) {
      *error = kErrorAccessDenied;
      return false;
    }
    // Windows refuses to delete a file that someone holds open; here that
    // is seen for openers through this service, by their lock.
    int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
      const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
      ::close(fd);
      if (held) {
        *error = kErrorSharingViolation;
        return false;
      }
    }
  }
  if (::unlink(native.c_str()) != 0) {
    *error = standin::WindowsErrorForPath(errno, native);
    return false;
  }
  NoteRemoved(native);
  return true;
}

namespace {

// A rename is an entry of the directory: it is on disk once the directory
// is flushed. A file system that cannot flush a directory has nothing
// more to write.
void FlushDirectoryOf(const std::string& native) {
  const std::size_t slash = native.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : native.substr(0, slash + 1);
  if (const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

}  // namespace

bool RenameReplace(const std::string& from, const std::string& to, std::uint32_t* error) {
  std::uint32_t ignored;
  if (!error) error = &ignored;
  const std::string native_from = NativePath(from);
  const std::string native_to = NativePath(to);
  struct stat st;
  if (::stat(native_to.c_str(), &st) == 0 &&
      (S_ISDIR(st.st_mode) || (AttributesOfNative(native_to) & kAttrReadOnly))) {
    *error = kErrorAccessDenied;
    return false;
  }
  if (::rename(native_from.c_str(), native_to.c_str()) != 0) {
    *error = standin::WindowsErrorForPath(errno, native_from);
    return false;
  }
  NoteRemoved(native_from);
  NoteCreated(native_to);
  FlushDirectoryOf(native_to);
  return true;
}

bool InspectEntry(const std::string& path, EntryInfo* info, std::uint32_t* error) {
  std::uint32_t ignored;
  if (!error) error = &ignored;
  *info = EntryInfo{};
  const std::string native = NativePath(path);
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return true;
    *error = standin::WindowsErrorForPath(errno, native);
    return false;
  }
  if (S_ISLNK(st.st_mode)) {
    info->kind = EntryKind::kLink;
  } else if (S_ISDIR(st.st_mode)) {
    info->kind = EntryKind::kDirectory;
  } else if (S_ISREG(st.st_mode)) {
    // Attributes that cannot be read are not "none": hidden or read-only
    // decides whose a file is.
    std::uint32_t stored = 0;
    if (!ReadStoredAttributesChecked(native, &stored)) {
      *error = standin::WindowsErrorForPath(errno, native);
      return false;
    }
    info->kind = EntryKind::kFile;
    info->attributes = stored;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) info->attributes |= kAttrReadOnly;
    if (info->attributes == 0) info->attributes = kAttrNormal;
    info->links = static_cast<std::uint32_t>(st.st_nlink);
  } else {
    info->kind = EntryKind::kOther;
  }
  return true;
}

bool RenameNoReplace(const std::string& from, const std::string& to, std::uint32_t* error) {
  std::uint32_t ignored;
  if (!error) error = &ignored;
  const std::string native_from = NativePath(from);
  const std::string native_to = NativePath(to);
  if (::renameat2(AT_FDCWD, native_from.c_str(), AT_FDCWD, native_to.c_str(), RENAME_NOREPLACE) ==
      0) {
    NoteRemoved(native_from);
    NoteCreated(native_to);
    FlushDirectoryOf(native_to);
    return true;
  }
  if (errno == EINVAL || errno == ENOSYS) {
    // A file system without the flag: a second name, then the first one
    // goes (link fails when the target exists).
    if (::link(native_from.c_str(), native_to.c_str()) == 0) {
      if (::unlink(native_from.c_str()) == 0) {
        NoteRemoved(native_from);
        NoteCreated(native_to);
        FlushDirectoryOf(native_to);
        return true;
      }
      *error = standin::WindowsErrorForPath(errno, native_from);
      ::unlink(native_to.c_str());
      return false;
    }
  }
  *error = standin::WindowsErrorForPath(errno, native_from);
  return false;
}

std::string NameOnDisk(const std::string& path) {
  const std::size_t sep = path.find_last_of("\\/");
  const std::string native = NativePath(path);
  const std::size_t native_sep = native.find_last_of('/');
  if (sep == std::string::npos || native_sep == std::string::npos) return path;
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0) return path;
  return path.substr(0, sep + 1) + native.substr(native_sep + 1);
}

bool MakeDirectory(const std::string& path, std::uint32_t* error) {
  std::uint32_t ignored;
  if (!error) error = &ignored;
  const std::string native = NativePath(path);
  if (::mkdir(native.c_str(), 0777) != 0) {
    *error = errno == EEXIST ? kErrorAlreadyExists : standin::WindowsErrorForPath(errno, native);
    return false;
  }
  NoteCreated(native);
  return true;
}

bool FindFiles(const std::string& pattern, std::vector<std::string>* names, std::uint32_t* error) {
  names->clear();
  const std::size_t sep = pattern.find_last_of("\\/");
  std::string dir;
  std::string mask = pattern;
  if (sep != std::string::npos) {
    dir = pattern.substr(0, sep + 1);
    mask = pattern.substr(sep + 1);
  } else if (pattern.size() >= 2 && pattern[1] == ':') {
    dir = pattern.substr(0, 2);
    mask = pattern.substr(2);
  }
  if (mask.empty()) return true;
  std::string native_dir = dir.empty() ? "." : NativePath(dir);
  // Read through the kept listings: the lookups of the names found here
  // need not read the directory again.
  std::vector<std::string> all;
  if (!standin::ListDirectory(native_dir, &all)) {
    const int why = errno;
    if (why == ENOENT || why == ENOTDIR) return true;  // the path is not found
    if (error) *error = standin::WindowsErrorForPath(why, native_dir);
    return false;
  }
  for (std::string& name : all)
    if (standin::WildcardMatch(mask, name)) names->push_back(std::move(name));
  return true;
}

bool WindowsDirectory(std::string* dir, std::uint32_t* error) {
  // Only named, never made: asking where the Windows directory is writes
  // nothing. A missing one reads as a directory without files.
  (void)error;
  *dir = standin::PrefixDir() + "/windows";
  return true;
}

}  // namespace veilbox::platform
