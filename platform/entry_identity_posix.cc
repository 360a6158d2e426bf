#include <sys/stat.h>

#include <cerrno>

#include "platform/entry_identity.h"
#include "platform/files.h"
#include "standin/posix_errors.h"

namespace veilbox::platform {

bool IdentityOf(const std::string& path, EntryIdentity* identity, std::uint32_t* error) {
  const std::string native = NativePath(path);
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) {
    *error = standin::WindowsErrorForPath(errno, native);
    return false;
  }
  identity->volume = static_cast<std::uint64_t>(st.st_dev);
  identity->file = static_cast<std::uint64_t>(st.st_ino);
  return true;
}

bool StampOf(const std::string& path, EntryStamp* stamp, std::uint32_t* error) {
  const std::string native = NativePath(path);
  struct stat st;
  if (::lstat(native.c_str(), &st) != 0) {
    *error = standin::WindowsErrorForPath(errno, native);
    return false;
  }
  stamp->identity.volume = static_cast<std::uint64_t>(st.st_dev);
  stamp->identity.file = static_cast<std::uint64_t>(st.st_ino);
  stamp->size = static_cast<std::uint64_t>(st.st_size);
  stamp->written = static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000ull +
                   static_cast<std::uint64_t>(st.st_mtim.tv_nsec);
  stamp->created = 0;
  return true;
}

}  // namespace veilbox::platform
