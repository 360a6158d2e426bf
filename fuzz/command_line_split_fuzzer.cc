// Splits arbitrary bytes as a command line, then checks that joining the
// arguments and splitting again gives the same arguments.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "text/command_line_split.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veilbox::text;
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const auto args = SplitCommandLine(line);
  if (SplitCommandLine(JoinCommandLine(args)) != args) std::abort();

  // The same bytes as a list of arguments separated by zero bytes; the
  // program name cannot hold a quote.
  std::vector<std::string> list;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == 0) {
      list.emplace_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  if (list[0].find('"') != std::string::npos) return 0;
  if (SplitCommandLine(JoinCommandLine(list)) != list) std::abort();
  return 0;
}
