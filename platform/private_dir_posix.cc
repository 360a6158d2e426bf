#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"
#include "platform/private_dir.h"

namespace veilbox::platform {

bool DirectoryIsPrivate(const std::string& dir, std::string* err) {
  const std::string native = NativePath(dir);
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) {
    *err = "cannot look at " + native + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *err = native + " is not a directory";
    return false;
  }
  if (st.st_uid != ::geteuid()) {
    *err = native + " belongs to another user";
    return false;
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    *err = native + " can be written by other users";
    return false;
  }
  return true;
}

}  // namespace veilbox::platform
