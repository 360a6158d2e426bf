#include "protect/wex_encryption.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "protect/line_cipher.h"
#include "sysutil/errors.h"

namespace veilbox {
namespace {

std::string Run(const std::string& input, const std::string& key, TActionType action) {
  TWexEncryption cipher;
  cipher.SetKey(key);
  cipher.SetAction(action);
  cipher.SetInput(input);
  cipher.Execute();
  return cipher.Output();
}

std::string Encrypt(const std::string& plain, const std::string& key) {
  return Run(plain, key, atEncryption);
}
std::string Decrypt(const std::string& cipher, const std::string& key) {
  return Run(cipher, key, atDecryption);
}

// Encryption with a chosen seed.
std::string EncryptWithSeed(const std::string& plain, const std::string& key, std::uint8_t seed) {
  std::string out;
  line_cipher::Encrypt(plain, line_cipher::KeyStream(key), seed, &out);
  return out;
}

std::string Pair(unsigned value) {
  static const char digits[] = "0123456789ABCDEF";
  return {digits[(value >> 4) & 15], digits[value & 15]};
}

std::string Bytes1To254() {
  std::string text;
  for (int b = 1; b <= 254; ++b) text += static_cast<char>(b);
  return text;
}

TEST(WexEncryptionTest, WorkedStepsChainOnTheCipherByteModulo255) {
  // Seed 0x10, plain 0x41: X = 0x51, then XOR the key byte.
  EXPECT_EQ(EncryptWithSeed("A", "k", 0x10), "10" + Pair(0x51 ^ 'k'));
  EXPECT_EQ(Decrypt("10" + Pair(0x51 ^ 'k'), "k"), "A");
  // Chain 0xFC, plain 0x6C: X = (0x6C + 0xFC) mod 255 = 0x69, and back.
  EXPECT_EQ(EncryptWithSeed("\x6C", "k", 0xFC), "FC" + Pair(0x69 ^ 'k'));
  EXPECT_EQ(Decrypt("FC" + Pair(0x69 ^ 'k'), "k"), "\x6C");
  // The chain is the cipher byte of the byte before, not its plain byte.
  const std::string two = EncryptWithSeed("AB", "xy", 0x10);
  const unsigned c1 = 0x51 ^ 'x';
  EXPECT_EQ(two, "10" + Pair(0x51 ^ 'x') + Pair((('B' + c1) % 255) ^ 'y'));
}

TEST(WexEncryptionTest, EncryptionGivesSeedAndCapitalPairsAndVariesBySeed) {
  TWexEncryption cipher;
  cipher.SetKey("key");
  cipher.SetInput("Hello, world");
  std::set<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    cipher.Execute();
    const std::string out = cipher.Output();
    ASSERT_EQ(out.size(), 2 + 2 * cipher.Input().size());
    EXPECT_EQ(out.find_first_not_of("0123456789ABCDEF"), std::string::npos) << out;
    EXPECT_EQ(Decrypt(out, "key"), "Hello, world");
    seen.insert(out);
  }
  EXPECT_GT(seen.size(), 1u);
}

TEST(WexEncryptionTest, EveryByteFrom1To254RoundTripsUnderEveryKeyLength) {
  // Long enough to cross the key layout's block, shorter than the last key.
  std::string text;
  for (int i = 0; i < 5; ++i) text += Bytes1To254();
  const std::string longer(2000, 'z');
  for (const std::string& key : {std::string(), std::string("k"), std::string("Wax"), longer}) {
    for (int seed = 0; seed < 256; ++seed) {
      const std::string cipher = EncryptWithSeed(text, key, static_cast<std::uint8_t>(seed));
      ASSERT_EQ(Decrypt(cipher, key), text) << "key length " << key.size() << " seed " << seed;
    }
    EXPECT_EQ(Decrypt(Encrypt(text, key), key), text);
  }
}

TEST(WexEncryptionTest, KeyPositionsStartAgainForEveryText) {
  // A key longer than the text uses only its first characters.
  const std::string key = "0123456789abcdef";
  EXPECT_EQ(Decrypt(Encrypt("short", key), key.substr(0, 5)), "short");
  // An empty key means the default key's first character at every byte;
  // the Key property stays empty.
  const std::string text = "empty key text";
  EXPECT_EQ(Decrypt(Encrypt(text, ""), "W"), text);
  EXPECT_EQ(Decrypt(Encrypt(text, "W"), ""), text);
  EXPECT_NE(Decrypt(Encrypt(text, ""), "Wax Orb"), text);
  TWexEncryption cipher;
  cipher.SetInput(text);
  cipher.Execute();
  EXPECT_EQ(cipher.Key(), "");
}

TEST(WexEncryptionTest, Bytes0And255ComeBackAs255OrAs0AfterA255Chain) {
  struct Case {
    std::uint8_t seed;
    std::string plain;
    std::string expected;
  };
  // With key "k", plain 0x84 after seed 0x10 gives the cipher byte 0xFF.
  const Case cases[] = {
      {0x10, std::string("\0\xFF", 2), "\xFF\xFF"},
      {0xFF, std::string("\0", 1), std::string("\0", 1)},
      {0xFF, "\xFF", std::string("\0", 1)},
      {0x10, std::string("\x84\0", 2), std::string("\x84\0", 2)},
      {0x10, "\x84\xFF", std::string("\x84\0", 2)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Decrypt(EncryptWithSeed(c.plain, "k", c.seed), "k"), c.expected)
        << "seed " << int(c.seed);
  }
}

TEST(WexEncryptionTest, DecryptionReadsSmallLettersShortAndOddLengths) {
  const std::string cipher = Encrypt("text with letters {|}~", "key");
  std::string lower = cipher;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(Decrypt(lower, "key"), "text with letters {|}~");
  // Three characters: one byte from the single third character.
  EXPECT_EQ(Decrypt("105", "k"), std::string(1, static_cast<char>(('k' ^ 5) - 0x10)));
  EXPECT_EQ(Decrypt("10a", "k"), std::string(1, static_cast<char>(('k' ^ 0xA) - 0x10)));
  // Odd lengths of 5 and more: the last character is never read.
  EXPECT_EQ(Decrypt(cipher + "G", "key"), "text with letters {|}~");
  EXPECT_EQ(Decrypt("10" + Pair(0x51 ^ 'k') + "-", "k"), "A");
}

TEST(WexEncryptionTest, EmptyInputGivesEmptyOutputBothWays) {
  for (TActionType action : {atEncryption, atDecryption}) {
    TWexEncryption cipher;
    cipher.SetAction(action);
    cipher.SetOutput("old");
    cipher.Execute();
    EXPECT_EQ(cipher.Output(), "");
  }
}

TEST(WexEncryptionTest, MalformedCipherTextRaisesAndKeepsOutput) {
  struct Case {
    std::string cipher;
    std::string message;
  };
  const Case cases[] = {
      {"1", "'$' is not a valid integer value"},
      {"10", "'$' is not a valid integer value"},
      {"G", "'$G' is not a valid integer value"},
      {"G041", "'$G0' is not a valid integer value"},
      {"10G", "'$G' is not a valid integer value"},
      {"10 4", "'$ 4' is not a valid integer value"},
      {"10+4", "'$+4' is not a valid integer value"},
      {"104141-541", "'$-5' is not a valid integer value"},
      {"10414g", "'$4g' is not a valid integer value"},
      {" 1041", "'$ 1' is not a valid integer value"},
      // Past the first 16 and 32 bytes, which are read together.
      {"10" + std::string(72, 'A') + "Z1" + std::string(20, 'b'),
       "'$Z1' is not a valid integer value"},
      {"10" + std::string(32, 'f') + "\xC1" + "0",
       "'$\xC1"
       "0' is not a valid integer value"},
  };
  for (const Case& c : cases) {
    TWexEncryption cipher;
    cipher.SetAction(atDecryption);
    cipher.SetOutput("previous");
    cipher.SetInput(c.cipher);
    try {
      cipher.Execute();
      ADD_FAILURE() << "no error for " << c.cipher;
    } catch (const ConvertError& e) {
      EXPECT_EQ(e.what(), c.message) << c.cipher;
    }
    EXPECT_EQ(cipher.Output(), "previous") << c.cipher;
  }
}

}  // namespace
}  // namespace veilbox
