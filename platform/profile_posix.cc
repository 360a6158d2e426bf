// The private-profile functions of the stand-in. A settings file is edited,
// not replaced: a write goes through symbolic links to the real file and
// keeps its mode, owner and extended attributes (where the file attributes
// live). The new text is written beside the real file as "<name>.~<pid>"
// and renamed over it, so a reader sees the old or the new text and never
// a part of it; where the result could not be the same file (more than one
// hard link, an owner this process cannot give the copy) the file is
// rewritten in place instead. Temporary files of writers that died are
// swept away by the next write.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/files.h"
#include "platform/profile.h"
#include "standin/ini_text.h"

namespace veilbox::platform {
namespace {

// A bare file name lies in the Windows directory; any other name is taken
// as it stands.
std::string ResolveProfile(const std::string& file_name) {
  if (file_name.find_first_of("\\/") != std::string::npos) return file_name;
  std::string windows_dir;
  std::uint32_t error = 0;
  if (!WindowsDirectory(&windows_dir, &error)) return file_name;
  if (windows_dir.empty() || windows_dir.back() != '\\') windows_dir += '\\';
  return windows_dir + file_name;
}

std::string TrimTrailingBlanks(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// The file a chain of symbolic links ends at, whether it exists or not.
std::string FollowLinks(std::string path) {
  namespace fs = std::filesystem;
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code ec;
    if (!fs::is_symlink(path, ec)) break;
    const fs::path target = fs::read_symlink(path, ec);
    if (ec) break;
    path = target.is_absolute()
               ? target.string()
               : (fs::path(path).parent_path() / target).lexically_normal().string();
  }
  return path;
}

bool WriteAll(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t n = pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Removes "<name>.~<pid>" files beside path whose writer no longer runs.
void SweepStaleTemporaries(const std::string& path) {
  const std::filesystem::path p(path);
  const std::string prefix = p.filename().string() + ".~";
  const std::string dir = p.parent_path().empty() ? "." : p.parent_path().string();
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> stale;
  while (const dirent* entry = readdir(d)) {
    const std::string name = entry->d_name;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = static_cast<pid_t>(std::strtol(digits.c_str(), nullptr, 10));
    if (pid == getpid() || (kill(pid, 0) != 0 && errno == ESRCH)) stale.push_back(name);
  }
  closedir(d);
  for (const std::string& name : stale) unlink((dir + "/" + name).c_str());
}

// Copies every extended attribute of from onto the open file to; false
// when one of the user's own ("user.") cannot be copied.
bool CopyExtendedAttributes(const std::string& from, int to) {
  const ssize_t size = listxattr(from.c_str(), nullptr, 0);
  if (size <= 0) return true;
  std::string names(static_cast<std::size_t>(size), '\0');
  const ssize_t got = listxattr(from.c_str(), names.data(), names.size());
  if (got < 0) return false;
  names.resize(static_cast<std::size_t>(got));
  for (std::size_t at = 0; at < names.size();) {
    const std::string name = names.c_str() + at;
    at += name.size() + 1;
    const ssize_t n = getxattr(from.c_str(), name.c_str(), nullptr, 0);
    std::string value(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    const ssize_t read =
        n > 0 ? getxattr(from.c_str(), name.c_str(), value.data(), value.size()) : 0;
    const bool copied = read >= 0 && fsetxattr(to, name.c_str(), value.data(),
                                               static_cast<std::size_t>(read), 0) == 0;
    if (!copied && name.compare(0, 5, "user.") == 0) return false;
  }
  return true;
}

// Rewrites the existing file in place: the same file, whatever it is.
bool RewriteInPlace(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  const bool ok =
      WriteAll(fd, text) && ftruncate(fd, static_cast<off_t>(text.size())) == 0 && fsync(fd) == 0;
  return close(fd) == 0 && ok;
}

// Writes text as the file at path (no link), through a temporary file
// beside it that takes over the old file's mode, owner and attributes.
bool WriteSettingsFile(const std::string& path, const std::string& text) {
  SweepStaleTemporaries(path);
  struct stat old;
  const bool exists = lstat(path.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) return false;
  if (exists && old.st_nlink > 1) return RewriteInPlace(path, text);

  const std::string temp = path + ".~" + std::to_string(getpid());
  unlink(temp.c_str());  // a leftover of ours: never written through
  const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      exists ? (old.st_mode & 07777) : 0666);
  if (fd < 0) return false;
  bool same_file = true;
  if (exists) {
    same_file = fchmod(fd, old.st_mode & 07777) == 0 && CopyExtendedAttributes(path, fd);
    if (same_file && (old.st_uid != geteuid() || old.st_gid != getegid()))
      same_file = fchown(fd, old.st_uid, old.st_gid) == 0;
  }
  bool ok = same_file && WriteAll(fd, text) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temp.c_str(), path.c_str()) == 0) return true;
  unlink(temp.c_str());
  // The copy could not be made the same file: edit the file itself.
  return exists && !same_file && RewriteInPlace(path, text);
}

}  // namespace

std::string GetProfileValue(const std::string& section, const std::string& key,
                            const std::string& default_value, const std::string& file_name) {
  std::string text;
  std::uint32_t error = 0;
  std::string value;
  if (ReadWholeFile(ResolveProfile(file_name), Share::kReadWrite, &text, &error) &&
      standin::IniFindValue(text, section, key, &value)) {
    return value;
  }
  return TrimTrailingBlanks(default_value);
}

bool SetProfileValue(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file_name) {
  const std::string path = ResolveProfile(file_name);
  std::string text;
  std::uint32_t error = 0;
  if (!ReadWholeFile(path, Share::kReadWrite, &text, &error)) {
    if (error != kErrorFileNotFound) return false;
    text.clear();
  }
  std::string edited;
  if (!standin::IniSetValue(text, section, key, value, &edited)) return false;
  return WriteSettingsFile(FollowLinks(NativePath(path)), edited);
}

}  // namespace veilbox::platform
