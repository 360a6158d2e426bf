// Reads and edits arbitrary INI text: a value that was set must read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "standin/ini_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const char* const kNames[][2] = {
      {"CTEDIT", "USER"}, {"ctedit", "CompileOkMessage"}, {"a b", "k"}, {"", ""}};
  const auto& names = kNames[data[0] % 4];
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  std::string value;
  veilbox::standin::IniFindValue(text, names[0], names[1], &value);

  std::string edited;
  if (!veilbox::standin::IniSetValue(text, names[0], names[1], "0", &edited)) std::abort();
  if (!veilbox::standin::IniFindValue(edited, names[0], names[1], &value) || value != "0") {
    std::abort();
  }
  return 0;
}
