#include "protect/line_cipher.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "sysutil/errors.h"

// SSE2 is part of every x86-64 processor, and the 32-bit build asks for
// it (MSVC's 32-bit default, /arch:SSE2, says so by _M_IX86_FP).
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define VEILBOX_CIPHER_SSE2 1
#include <emmintrin.h>
#else
#define VEILBOX_CIPHER_SSE2 0
#endif

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

// The value of the two characters at t as a hexadecimal number, as
// GroupValue reads them (which raises for anything else).
inline unsigned PairValue(const char* t) {
  const unsigned hi = kHexValue[static_cast<std::uint8_t>(t[0])];
  const unsigned lo = kHexValue[static_cast<std::uint8_t>(t[1])];
  if ((hi | lo) & kNotHex) return GroupValue(std::string_view(t, 2));
  return (hi << 4) | lo;
}

// Undoes the chaining: b is the cipher byte with the key taken off.
inline char Unchain(unsigned b, unsigned chain) {
  int d = static_cast<int>(b) - static_cast<int>(chain);
  if (d <= 0) d += 255;
  return static_cast<char>(d);
}

#if VEILBOX_CIPHER_SSE2
// The values of 16 characters as hexadecimal digits, one per byte; the
// bytes of *bad become 0xFF where a character is not a digit.
inline __m128i HexNibbles(__m128i chars, __m128i* bad) {
  const __m128i digit = _mm_sub_epi8(chars, _mm_set1_epi8('0'));
  const __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(9)), digit);
  // Setting bit 5 folds A-F onto a-f and nothing else onto them.
  const __m128i letter = _mm_sub_epi8(_mm_or_si128(chars, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  const __m128i is_letter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
  *bad = _mm_or_si128(*bad, _mm_andnot_si128(_mm_or_si128(is_digit, is_letter),
                                             _mm_set1_epi8(static_cast<char>(0xFF))));
  return _mm_or_si128(_mm_and_si128(is_digit, digit),
                      _mm_and_si128(is_letter, _mm_add_epi8(letter, _mm_set1_epi8(10))));
}

// Pairs of digit values (high digit first) to the bytes they make, one per
// 16-bit lane.
inline __m128i JoinNibbles(__m128i nibbles) {
  return _mm_or_si128(_mm_slli_epi16(_mm_and_si128(nibbles, _mm_set1_epi16(0x00FF)), 4),
                      _mm_srli_epi16(nibbles, 8));
}
#endif

// Decrypts `count` pairs at p, meeting keys[0], keys[1], ..., into o, with
// *chain the cipher byte before the first pair; returns count, or the
// index of the first pair that is not two hexadecimal digits (the bytes
// before it written). Byte j is stored only after pair j, and every pair
// after it lies further on, so o may be p - 2 or lie before it (decryption
// in place).
std::size_t DecryptPairs(const std::uint8_t* p, const std::uint8_t* keys, std::size_t count,
                         char* o, unsigned* chain) {
  std::size_t j = 0;
#if VEILBOX_CIPHER_SSE2
  if (count >= 16) {
    __m128i previous = _mm_cvtsi32_si128(static_cast<int>(*chain));
    for (; j + 16 <= count; j += 16) {
      const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * j));
      const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * j + 16));
      __m128i bad_first = _mm_setzero_si128();
      __m128i bad_second = _mm_setzero_si128();
      const __m128i c = _mm_packus_epi16(JoinNibbles(HexNibbles(first, &bad_first)),
                                         JoinNibbles(HexNibbles(second, &bad_second)));
      const unsigned bad = static_cast<unsigned>(_mm_movemask_epi8(bad_first)) |
                           static_cast<unsigned>(_mm_movemask_epi8(bad_second)) << 16;
      // The chain of each byte is the cipher byte before it.
      const __m128i chains = _mm_or_si128(_mm_slli_si128(c, 1), previous);
      const __m128i b =
          _mm_xor_si128(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + j)));
      // b - chain, and 255 more (that is, 1 less) where b <= chain.
      const __m128i at_most = _mm_cmpeq_epi8(_mm_min_epu8(b, chains), b);
      const __m128i plain = _mm_add_epi8(_mm_sub_epi8(b, chains), at_most);
      if (bad) {
        // A line ends in this block (or a pair is malformed): the pairs
        // before the first character that is not a digit are good. Only
        // their bytes are stored, so that nothing past them is written.
        const std::size_t good = static_cast<std::size_t>(std::countr_zero(bad)) / 2;
        if (good > 0) {
          alignas(16) std::uint8_t plain_bytes[16];
          alignas(16) std::uint8_t cipher_bytes[16];
          _mm_store_si128(reinterpret_cast<__m128i*>(plain_bytes), plain);
          _mm_store_si128(reinterpret_cast<__m128i*>(cipher_bytes), c);
          std::memcpy(o + j, plain_bytes, good);
          previous = _mm_cvtsi32_si128(cipher_bytes[good - 1]);
          j += good;
        }
        break;
      }
      previous = _mm_srli_si128(c, 15);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o + j), plain);
    }
    *chain = static_cast<unsigned>(_mm_cvtsi128_si32(previous)) & 0xFF;
  }
#endif
  unsigned c0 = *chain;
  for (; j < count; ++j) {
    const unsigned hi = kHexValue[p[2 * j]];
    const unsigned lo = kHexValue[p[2 * j + 1]];
    if ((hi | lo) & kNotHex) break;
    const unsigned c = (hi << 4) | lo;
    o[j] = Unchain(keys[j] ^ c, c0);
    c0 = c;
  }
  *chain = c0;
  return j;
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
  for (std::size_t done = 0; done < n;) {
    const std::size_t run = std::min(key.block(), n - done);
    const std::size_t good = DecryptPairs(pairs + 2 * done, keys, run, out + done, &chain);
    if (good < run) {
      GroupValue(text.substr(2 + 2 * (done + good), 2));  // throws, naming the group
    }
    done += run;
  }
  return n;
}

std::size_t DecryptLine(std::string_view text, const KeyStream& key, char* out,
                        std::size_t* length) {
  const auto is_end = [](char c) { return c == '\r' || c == '\n' || c == '\0'; };
  const std::size_t size = text.size();
  const char* const t = text.data();
  std::size_t head = 0;
  while (head < size && head < 4 && !is_end(t[head])) ++head;
  if (head < 4) {
    *length = head;
    return Decrypt(text.substr(0, head), key, out);
  }
  // Four characters or more: the seed's pair and at least one more.
  unsigned chain = PairValue(t);
  const auto* pairs = reinterpret_cast<const std::uint8_t*>(t) + 2;
  const std::size_t whole = (size - 2) / 2;  // pairs that lie inside text
  std::size_t done = 0;
  while (done < whole) {
    const std::size_t run = std::min(key.block(), whole - done);
    const std::size_t good = DecryptPairs(pairs + 2 * done, key.data(), run, out + done, &chain);
    done += good;
    if (good < run) break;
  }
  // Decoding stopped at a pair that is not two digits, or at the end of
  // text. A line end is never a digit: either the line ends there (after
  // an even or an odd number of characters; an odd last one is not read)
  // or the pair lies inside the line and is malformed.
  const std::size_t at = 2 + 2 * done;
  if (at >= size || is_end(t[at])) {
    *length = at;
  } else if (at + 1 >= size || is_end(t[at + 1])) {
    *length = at + 1;
  } else {
    GroupValue(text.substr(at, 2));  // throws, naming the group
    *length = at + 2;                // not reached: the pair was rejected
  }
  return done;
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
