#include "text/ansi_case.h"

namespace veilbox::text {
namespace {

// 0xD7 and 0xF7 are the multiplication and division signs; 0xDF (sharp s)
// and 0xFF (y with diaeresis) have no single-byte partner in the code page.
bool IsLatinUpper(unsigned char u) { return u >= 0xC0 && u <= 0xDE && u != 0xD7; }
bool IsLatinLower(unsigned char u) { return u >= 0xE0 && u <= 0xFE && u != 0xF7; }

}  // namespace

char AnsiUpperChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if ((u >= 'a' && u <= 'z') || IsLatinLower(u)) return static_cast<char>(u - 0x20);
  if (u == 0x9A || u == 0x9C || u == 0x9E) return static_cast<char>(u - 0x10);  // s/oe/z caron
  if (u == 0xFF) return static_cast<char>(0x9F);
  return c;
}

char AnsiLowerChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if ((u >= 'A' && u <= 'Z') || IsLatinUpper(u)) return static_cast<char>(u + 0x20);
  if (u == 0x8A || u == 0x8C || u == 0x8E) return static_cast<char>(u + 0x10);
  if (u == 0x9F) return static_cast<char>(0xFF);
  return c;
}

bool AnsiSameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AnsiUpperChar(a[i]) != AnsiUpperChar(b[i])) return false;
  return true;
}

}  // namespace veilbox::text
