// Parses arbitrary bytes as a registry file; whatever parses must survive
// being written out and read back with the same keys, values and skipped
// lines, and writing that again must give the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "standin/reg_file.h"

namespace {

// The file without the lines as read, which a value written anew gains.
veilbox::standin::RegFile WithoutRawLines(veilbox::standin::RegFile file) {
  for (auto& key : file.keys) {
    key.raw.clear();
    for (auto& value : key.values) value.raw.clear();
  }
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veilbox;
  standin::RegFile file;
  std::string err;
  if (!standin::ParseRegFile(std::string_view(reinterpret_cast<const char*>(data), size), &file,
                             &err))
    return 0;
  const std::string text = standin::FormatRegFile(file);
  standin::RegFile again;
  if (!standin::ParseRegFile(text, &again, &err)) std::abort();
  if (!(WithoutRawLines(again) == WithoutRawLines(file))) std::abort();
  if (standin::FormatRegFile(again) != text) std::abort();
  return 0;
}
