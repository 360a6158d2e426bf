#include "standin/prefix.h"

#include <cstdlib>

namespace veilbox::standin {

std::string PrefixDir() {
  if (const char* prefix = std::getenv("VEILBOX_PREFIX"); prefix && *prefix) return prefix;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.veilbox";
}

}  // namespace veilbox::standin
