#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/user_data_dir.h"
#include "standin/prefix.h"

namespace veilbox::platform {

bool UserDataDir(std::string* dir, std::string* err) {
  std::string prefix = standin::PrefixDir();
  if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
    *err = "cannot create " + prefix + ": " + std::strerror(errno);
    return false;
  }
  *dir = prefix;
  return true;
}

}  // namespace veilbox::platform
