// Checks the line cipher against its byte rules written out plainly:
// arbitrary text decrypted under an arbitrary key (by the component, and
// in place by the engine) must give the reference's bytes or fail with
// the reference's group, leaving Output alone; the text with its bytes
// moved into 1..254 must encrypt as the reference does for the same seed
// and come back unchanged.
//
// Input: one byte n, then a key of n mod 64 bytes, then the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protect/line_cipher.h"
#include "protect/wex_encryption.h"
#include "sysutil/errors.h"

namespace {

bool HexValue(const std::string& group, unsigned* value) {
  if (group.empty()) return false;
  *value = 0;
  for (char ch : group) {
    unsigned digit;
    if (ch >= '0' && ch <= '9')
      digit = static_cast<unsigned>(ch - '0');
    else if (ch >= 'A' && ch <= 'F')
      digit = static_cast<unsigned>(ch - 'A' + 10);
    else if (ch >= 'a' && ch <= 'f')
      digit = static_cast<unsigned>(ch - 'a' + 10);
    else
      return false;
    *value = *value * 16 + digit;
  }
  return true;
}

// Positions count from 1, as the rules count them.
unsigned char KeyByte(const std::string& key, std::size_t* position) {
  *position = *position < key.size() ? *position + 1 : 1;
  return static_cast<unsigned char>(key.empty() ? 'W' : key[*position - 1]);
}

// False with the failing group in *bad.
bool ReferenceDecrypt(const std::string& text, const std::string& key, std::string* out,
                      std::string* bad) {
  out->clear();
  if (text.empty()) return true;
  unsigned chain = 0;
  *bad = text.substr(0, 2);
  if (!HexValue(*bad, &chain)) return false;
  std::size_t position = 0;
  std::size_t i = 3;
  do {
    *bad = i - 1 < text.size() ? text.substr(i - 1, 2) : std::string();
    unsigned c = 0;
    if (!HexValue(*bad, &c)) return false;
    unsigned b = KeyByte(key, &position) ^ c;
    b = b > chain ? b - chain : b + 255 - chain;
    *out += static_cast<char>(b);
    chain = c;
    i += 2;
  } while (text.size() > i);
  return true;
}

std::string ReferenceEncrypt(const std::string& plain, const std::string& key, unsigned seed) {
  static const char digits[] = "0123456789ABCDEF";
  if (plain.empty()) return {};
  std::string out = {digits[seed >> 4], digits[seed & 15]};
  unsigned chain = seed;
  std::size_t position = 0;
  for (char ch : plain) {
    const unsigned x = (static_cast<unsigned char>(ch) + chain) % 255;
    const unsigned c = x ^ KeyByte(key, &position);
    out += digits[c >> 4];
    out += digits[c & 15];
    chain = c;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veilbox;
  if (size == 0) return 0;
  const std::size_t key_size = std::min<std::size_t>(data[0] % 64, size - 1);
  const std::string key(reinterpret_cast<const char*>(data) + 1, key_size);
  const std::string text(reinterpret_cast<const char*>(data) + 1 + key_size, size - 1 - key_size);

  std::string expected, bad;
  const bool valid = ReferenceDecrypt(text, key, &expected, &bad);
  TWexEncryption cipher;
  cipher.SetKey(key);
  cipher.SetAction(atDecryption);
  cipher.SetOutput("before");
  cipher.SetInput(text);
  try {
    cipher.Execute();
    if (!valid || cipher.Output() != expected) std::abort();
  } catch (const ConvertError& e) {
    if (valid || std::string(e.what()) != ConvertError("$" + bad).what()) std::abort();
    if (cipher.Output() != "before") std::abort();
  }
  std::string in_place = text;
  try {
    const line_cipher::KeyStream keys(key);
    in_place.resize(line_cipher::Decrypt(in_place, keys, in_place.data()));
    if (!valid || in_place != expected) std::abort();
  } catch (const ConvertError&) {
    if (valid) std::abort();
  }

  std::string plain = text;
  for (char& c : plain) c = static_cast<char>(static_cast<std::uint8_t>(c) % 254 + 1);
  std::string encrypted;
  line_cipher::Encrypt(plain, line_cipher::KeyStream(key), data[0], &encrypted);
  if (encrypted != ReferenceEncrypt(plain, key, data[0])) std::abort();
  cipher.SetAction(atEncryption);
  cipher.SetInput(plain);
  cipher.Execute();
  cipher.SetAction(atDecryption);
  cipher.SetInput(cipher.Output());
  cipher.Execute();
  if (cipher.Output() != plain) std::abort();
  return 0;
}
