// Decrypts arbitrary text under an arbitrary key, in place and into a
// separate buffer (the results must agree, and a failure must leave the
// component's Output alone), then encrypts and decrypts the text with its
// bytes moved into 1..254, which must come back unchanged.
//
// Input: one byte n, then a key of n mod 64 bytes, then the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protect/line_cipher.h"
#include "protect/wex_encryption.h"
#include "sysutil/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veilbox;
  if (size == 0) return 0;
  const std::size_t key_size = std::min<std::size_t>(data[0] % 64, size - 1);
  const std::string key(reinterpret_cast<const char*>(data) + 1, key_size);
  const std::string text(reinterpret_cast<const char*>(data) + 1 + key_size, size - 1 - key_size);

  TWexEncryption cipher;
  cipher.SetKey(key);
  cipher.SetAction(atDecryption);
  cipher.SetOutput("before");
  cipher.SetInput(text);
  bool failed = false;
  try {
    cipher.Execute();
  } catch (const ConvertError&) {
    failed = true;
    if (cipher.Output() != "before") std::abort();
  }
  std::string in_place = text;
  try {
    const std::size_t n =
        line_cipher::Decrypt(in_place, line_cipher::KeyStream(key), in_place.data());
    in_place.resize(n);
    if (failed || in_place != cipher.Output()) std::abort();
  } catch (const ConvertError&) {
    if (!failed) std::abort();
  }
  if (!failed && cipher.Output().size() != line_cipher::DecryptedSize(text.size())) std::abort();

  std::string plain = text;
  for (char& c : plain) c = static_cast<char>(static_cast<std::uint8_t>(c) % 254 + 1);
  cipher.SetAction(atEncryption);
  cipher.SetInput(plain);
  cipher.Execute();
  if (cipher.Output().size() != (plain.empty() ? 0 : 2 + 2 * plain.size())) std::abort();
  cipher.SetAction(atDecryption);
  cipher.SetInput(cipher.Output());
  cipher.Execute();
  if (cipher.Output() != plain) std::abort();
  return 0;
}
