// Splits arbitrary bytes as a command line and checks that every argument
// is non-empty and holds neither a byte 0 nor a double quote.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "text/param_str.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  std::size_t total = 0;
  for (const std::string& param : veilbox::text::SplitParams(line)) {
    if (param.empty()) std::abort();
    for (char c : param) {
      if (c == '\0' || c == '"') std::abort();
    }
    total += param.size();
  }
  if (total > size) std::abort();
  return 0;
}
