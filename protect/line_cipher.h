// The byte rules of the line cipher, on buffers. TWexEncryption is the
// component that callers set up and run; this is its engine, shared with
// the list and file routines that run it over many lines.
//
// A cipher text is the seed's pair followed by one pair per plain byte; a
// pair is a byte as two hexadecimal digits (capitals written, small letters
// read as well). Encryption of plain byte P: X = (P + chain) mod 255, then
// C = X XOR key byte; the chain starts as the seed and becomes each C in
// turn. Decryption undoes that, so bytes 1 to 254 come back unchanged and
// 0 and 255 come back as 255 (as 0 where the chain is 255).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veilbox::line_cipher {

// Stands in for an empty key; only its first character is ever used.
inline constexpr std::string_view kDefaultKey = "Wax Orb";

// The key bytes in the order the bytes of a text meet them: with a key of
// L characters, character 1, 2, ..., L, 1, 2, ...; with an empty key the
// first character of kDefaultKey at every byte. Every text starts again at
// the key's first character. The bytes are laid out repeated over a block
// whose length is a multiple of L, so that a run of bytes reads them
// without wrapping.
class KeyStream {
 public:
  explicit KeyStream(std::string_view key);

  // The key bytes for the text bytes block_start .. block_start + block()
  // - 1, where block_start is a multiple of block().
  const std::uint8_t* data() const { return bytes_.data(); }
  std::size_t block() const { return bytes_.size(); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Number of plain bytes that a cipher text of `size` characters gives:
// (size - 2) / 2, 1 for 3 characters, 0 for texts of 0 to 2 characters
// (which give nothing or fail).
inline std::size_t DecryptedSize(std::size_t size) {
  return size < 3 ? 0 : size == 3 ? 1 : (size - 2) / 2;
}

// Decrypts `text` into out, which has room for DecryptedSize(text.size())
// bytes, and returns the number of bytes written. out may be text.data()
// itself or lie before it (decryption in place). An empty text gives 0
// bytes. Throws ConvertError ("'$..' is not a valid integer value", naming
// the first group that is empty or not hexadecimal); out may then hold
// some bytes already.
std::size_t Decrypt(std::string_view text, const KeyStream& key, char* out);

// Decrypts the cipher line at the start of text, which runs to the first
// CR, LF or byte 0 or to the end of text, finding that end as it decodes
// (one pass over the line). *length becomes the line's length without its
// end. Results and errors are those of Decrypt on the line; out has room
// for DecryptedSize(*length) bytes and may be text.data() itself or lie
// before it.
std::size_t DecryptLine(std::string_view text, const KeyStream& key, char* out,
                        std::size_t* length);

// Appends the cipher text of `plain` with the given seed to *out; an empty
// plain text appends nothing.
void Encrypt(std::string_view plain, const KeyStream& key, std::uint8_t seed, std::string* out);

}  // namespace veilbox::line_cipher
