#include "protect/line_cipher.h"

#include <algorithm>
#include <array>

#include "sysutil/errors.h"

namespace veilbox::line_cipher {
namespace {

// Marks a character that is not a hexadecimal digit in kHexValue.
constexpr std::uint8_t kNotHex = 0x10;

constexpr std::array<std::uint8_t, 256> MakeHexValues() {
  std::array<std::uint8_t, 256> values{};
  for (int c = 0; c < 256; ++c) {
    if (c >= '0' && c <= '9')
      values[c] = static_cast<std::uint8_t>(c - '0');
    else if (c >= 'A' && c <= 'F')
      values[c] = static_cast<std::uint8_t>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
      values[c] = static_cast<std::uint8_t>(c - 'a' + 10);
    else
      values[c] = kNotHex;
  }
  return values;
}

constexpr std::array<std::uint8_t, 256> kHexValue = MakeHexValues();
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Key bytes are laid out over at least this many text bytes.
constexpr std::size_t kMinBlock = 1024;

// The value of a group of one or two characters read as a hexadecimal
// number; an empty group or any other character fails the way the
// integer conversion of "$" followed by the group does.
unsigned GroupValue(std::string_view group) {
  unsigned value = 0;
  bool ok = !group.empty();
  for (char ch : group) {
    const std::uint8_t digit = kHexValue[static_cast<std::uint8_t>(ch)];
    ok = ok && digit != kNotHex;
    value = value * 16 + (digit & 0x0F);
  }
  if (!ok) throw ConvertError("$" + std::string(group));
  return value;
}

// Undoes the chaining: b is the cipher byte with the key taken off.
inline char Unchain(unsigned b, unsigned chain) {
  int d = static_cast<int>(b) - static_cast<int>(chain);
  if (d <= 0) d += 255;
  return static_cast<char>(d);
}

}  // namespace

KeyStream::KeyStream(std::string_view key) {
  if (key.empty()) {
    bytes_.assign(kMinBlock, static_cast<std::uint8_t>(kDefaultKey[0]));
    return;
  }
  const std::size_t copies = (kMinBlock + key.size() - 1) / key.size();
  bytes_.reserve(copies * key.size());
  for (std::size_t i = 0; i < copies; ++i) bytes_.insert(bytes_.end(), key.begin(), key.end());
}

std::size_t Decrypt(std::string_view text, const KeyStream& key, char* out) {
  const std::size_t size = text.size();
  if (size == 0) return 0;
  unsigned chain = GroupValue(text.substr(0, 2));
  if (size <= 2) throw ConvertError("$");  // the first byte's group is empty
  const std::uint8_t* keys = key.data();
  if (size == 3) {
    out[0] = Unchain(keys[0] ^ GroupValue(text.substr(2, 1)), chain);
    return 1;
  }
  const std::size_t n = (size - 2) / 2;
  const auto* pairs = reinterpret_cast<const std::uint8_t*>(text.data()) + 2;
  // Byte j is written at out[j] only after pair j (at 2 + 2j) has been
  // read, and later pairs lie further on, so out may overlay text.
  for (std::size_t done = 0; done < n;) {
    const std::size_t run = std::min(key.block(), n - done);
    const std::uint8_t* p = pairs + 2 * done;
    char* o = out + done;
    for (std::size_t j = 0; j < run; ++j) {
      const unsigned hi = kHexValue[p[2 * j]];
      const unsigned lo = kHexValue[p[2 * j + 1]];
      if ((hi | lo) & kNotHex) {
        GroupValue(text.substr(2 + 2 * (done + j), 2));  // throws, naming the group
      }
      const unsigned c = (hi << 4) | lo;
      o[j] = Unchain(keys[j] ^ c, chain);
      chain = c;
    }
    done += run;
  }
  return n;
}

void Encrypt(std::string_view plain, const KeyStream& key, std::uint8_t seed, std::string* out) {
  if (plain.empty()) return;
  const std::size_t start = out->size();
  out->resize(start + 2 + 2 * plain.size());
  char* o = out->data() + start;
  *o++ = kHexDigits[seed >> 4];
  *o++ = kHexDigits[seed & 0x0F];
  unsigned chain = seed;
  const std::uint8_t* keys = key.data();
  std::size_t k = 0;
  for (char ch : plain) {
    const unsigned x = (static_cast<std::uint8_t>(ch) + chain) % 255;
    const unsigned c = x ^ keys[k];
    if (++k == key.block()) k = 0;
    *o++ = kHexDigits[c >> 4];
    *o++ = kHexDigits[c & 0x0F];
    chain = c;
  }
}

}  // namespace veilbox::line_cipher
