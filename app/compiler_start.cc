#include "app/compiler_start.h"

#include <cstdint>

#include "platform/debug_output.h"
#include "platform/process.h"
#include "platform/system_error.h"
#include "sysutil/text_utils.h"
#include "text/command_line_split.h"

namespace veilbox {

std::string CompilerCommandLine(const std::string& bin, const std::string& attach_name,
                                const std::vector<std::string>& params) {
  std::string line = text::QuoteProgramName(AddBackslash(bin) + attach_name) + " ";
  for (const std::string& param : params) line += text::QuoteArgument(param) + " ";
  return line;
}

std::optional<int> RunCompiler(const std::string& bin, const std::string& attach_name,
                               const std::vector<std::string>& params) {
  const std::string line = CompilerCommandLine(bin, attach_name, params);
  std::uint32_t exit_code = 0;
  std::uint32_t error = 0;
  if (!platform::RunProcessAndWait("", line, bin, &exit_code, &error)) {
    platform::DebugOutput("Veilbox cannot start the compiler: " + line + ": " +
                          platform::SystemErrorText(error));
    return std::nullopt;
  }
  return static_cast<std::int32_t>(exit_code);
}

}  // namespace veilbox
