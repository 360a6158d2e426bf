#include "app/compiler_start.h"

#include "sysutil/globals.h"
#include "sysutil/run_and_wait.h"
#include "sysutil/text_utils.h"
#include "text/command_line_split.h"

namespace veilbox {

std::string CompilerCommandLine(const std::string& bin, const std::string& attach_name,
                                const std::vector<std::string>& params) {
  std::string line = text::QuoteProgramName(AddBackslash(bin) + attach_name) + " ";
  for (const std::string& param : params) line += text::QuoteArgument(param) + " ";
  return line;
}

bool RunCompiler(const std::string& bin, const std::vector<std::string>& params, int* exit_code) {
  *exit_code = RunAndWait("", CompilerCommandLine(bin, AttachName, params), bin);
  return LastStatus == kSuccessText;
}

}  // namespace veilbox
