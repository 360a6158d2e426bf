#include "protect/line_cipher.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "sysutil/errors.h"

namespace veilbox::line_cipher {
namespace {

// What a call gives: the bytes, or the error's text.
std::string Outcome(const std::function<std::string()>& call) {
  try {
    return "ok:" + call();
  } catch (const ConvertError& e) {
    return std::string("error:") + e.what();
  }
}

// DecryptLine finds the line's end as it decodes and gives what Decrypt
// gives on the line alone, whatever follows it.
TEST(LineCipher, DecryptLineFindsTheEndAndAgreesWithDecrypt) {
  const KeyStream key("k3y");
  std::string long_line;
  Encrypt(std::string(5000, 'x'), key, 0x42, &long_line);
  std::vector<std::string> lines = {
      "",
      "1",
      "12",
      "123",
      "12G",
      "1234",
      "12345",
      "1234G",
      "123G5",
      "G2345",
      "0A0B0C0D0E0F1011",
      "0a0b0c0d0e0f10111",
      "0A0B0C0D0E0F1G11213141516171819",
      long_line,
      long_line + "7",
      long_line.substr(0, 3000) + "Z" + long_line.substr(3001),
  };
  // Lines of every length up to a few blocks of the vector decoding, with
  // the line's end at each place in a block, and one digit short.
  for (std::size_t n = 1; n <= 50; ++n) {
    std::string line;
    Encrypt(std::string(n, static_cast<char>('a' + n % 26)), key, static_cast<std::uint8_t>(n), &line);
    lines.push_back(line);
    lines.push_back(line.substr(0, line.size() - 1));
  }
  for (const std::string& line : lines) {
    const std::string expected = Outcome([&] {
      std::string out(DecryptedSize(line.size()), '\0');
      out.resize(Decrypt(line, key, out.data()));
      return out;
    });
    for (const std::string& end :
         {std::string(), std::string("\r\nFFFF"), std::string("\n"), std::string("\r"),
          std::string("\0FF", 3), "\r\n" + std::string(64, 'C')}) {
      const std::string text = line + end;
      std::size_t length = 12345;
      const std::string got = Outcome([&] {
        std::string out(text.size() / 2 + 1, '\0');
        out.resize(DecryptLine(text, key, out.data(), &length));
        return out;
      });
      EXPECT_EQ(got, expected) << line.substr(0, 40) << " + " << end.size();
      if (got.rfind("ok:", 0) == 0) {
        EXPECT_EQ(length, line.size()) << line.substr(0, 40);
      }
    }
  }
}

}  // namespace
}  // namespace veilbox::line_cipher
