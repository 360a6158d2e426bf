#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/prefix.h"
#include "platform/user_data_dir.h"

namespace veilbox::platform {

bool UserDataDir(std::string* dir, std::string* err) {
  std::string prefix = PrefixDir();
  if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
    *err = "cannot create " + prefix + ": " + std::strerror(errno);
    return false;
  }
  *dir = prefix;
  return true;
}

}  // namespace veilbox::platform
