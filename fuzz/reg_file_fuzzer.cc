// Parses arbitrary bytes as a registry file; whatever parses must survive
// being written out and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veilbox::platform;
  RegFile file;
  std::string err;
  if (!ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size), &file, &err))
    return 0;
  const std::string text = FormatRegFile(file);
  RegFile again;
  if (!ParseRegFile(text, &again, &err)) std::abort();
  if (!(again == file)) std::abort();
  return 0;
}
