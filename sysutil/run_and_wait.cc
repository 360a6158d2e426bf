#include "sysutil/run_and_wait.h"

#include <cstdint>

#include "platform/process.h"
#include "sysutil/globals.h"

namespace veilbox {

int RunAndWait(const std::string& application, const std::string& command_line,
               const std::string& current_dir) {
  LastStatus = kSuccessText;
  std::uint32_t exit_code = 0;
  std::uint32_t error = 0;
  if (!platform::RunProcessAndWait(application, command_line, current_dir, &exit_code, &error)) {
    LastStatus = "Unable to start Application " + application;
    return -1;
  }
  return static_cast<std::int32_t>(exit_code);
}

}  // namespace veilbox
