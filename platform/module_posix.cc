#include <filesystem>
#include <system_error>

#include "platform/module.h"

namespace veilbox::platform {

std::string ModuleFileName() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.string();
}

}  // namespace veilbox::platform
