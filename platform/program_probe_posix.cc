#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/files.h"
#include "platform/program_probe.h"

namespace veilbox::platform {
namespace {

// What execve starts: an ELF image or a script naming its interpreter. An
// image the user may not read is taken as one (execve needs no reading).
bool StartableImage(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  char head[4] = {};
  const ssize_t got = ::read(fd, head, sizeof head);
  ::close(fd);
  if (got == 4 && std::memcmp(head, "\x7f" "ELF", 4) == 0) return true;
  return got >= 2 && head[0] == '#' && head[1] == '!';
}

}  // namespace

bool CanStartProgram(const std::string& name, const std::string& dir) {
  const std::string file = NativePath(name);
  struct stat st;
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (::faccessat(AT_FDCWD, file.c_str(), X_OK, AT_EACCESS) != 0) return false;
  if (!dir.empty() && ::faccessat(AT_FDCWD, NativePath(dir).c_str(), X_OK, AT_EACCESS) != 0)
    return false;
  return StartableImage(file);
}

}  // namespace veilbox::platform
