#include "sysutil/text_utils.h"

#include <gtest/gtest.h>

#include "sysutil/errors.h"
#include "sysutil/globals.h"

namespace veilbox {
namespace {

TEST(Globals, StatusTextsAreByteExact) {
  EXPECT_EQ(kSuccessText.size(), 17u);
  EXPECT_EQ(kNotFound.size(), 18u);
  EXPECT_EQ(static_cast<unsigned char>(kSuccessText.back()), 0xA1);
  EXPECT_EQ(kSuccessText.substr(0, 16), "Success...123454");
  EXPECT_EQ(kNotFound.substr(0, 17), "Not Found...12345");
}

TEST(TextUtils, BackslashAndSlices) {
  EXPECT_EQ(AddBackslash("C:\\X"), "C:\\X\\");
  EXPECT_EQ(AddBackslash("C:\\X\\"), "C:\\X\\");
  EXPECT_EQ(AddBackslash(""), "\\");
  EXPECT_EQ(LeftStr("ABCDEFGHIJ", 2), "AB");
  EXPECT_EQ(LeftStr("ABCDEFGHIJ", 10), "ABCDEFGHIJ");
  EXPECT_EQ(LeftStr("ABCDEFGHIJ", 11), "ABCDEFGHIJ");
  EXPECT_EQ(LeftStr("ABC", 0), "");
  EXPECT_EQ(LeftStr("ABC", -4), "");
  EXPECT_EQ(RightStr("ABC", 1), "C");
  EXPECT_EQ(RightStr("ABC", 0), "");
  EXPECT_EQ(RightStr("ABC", 7), "ABC");
  EXPECT_EQ(CopyFrom("/ICITECT.INI", 3), "CITECT.INI");
  EXPECT_EQ(CopyFrom("ABC", 1), "ABC");
  EXPECT_EQ(CopyFrom("ABC", -2), "ABC");
  EXPECT_EQ(CopyFrom("ABC", 4), "");
  EXPECT_EQ(CopyFrom("ABC", 100), "");
}

TEST(TextUtils, CountCharAndExtractToken) {
  EXPECT_EQ(CountChar("", '\\'), 0);
  EXPECT_EQ(CountChar("a\\b\\c", '\\'), 2);
  EXPECT_EQ(ExtractToken("a\\b\\c", '\\', 1), "a");
  EXPECT_EQ(ExtractToken("a\\b\\c", '\\', 2), "b");
  EXPECT_EQ(ExtractToken("a\\b\\c", '\\', 3), "c");
  EXPECT_EQ(ExtractToken("a\\b\\c", '\\', 4), "");
  EXPECT_EQ(ExtractToken("a\\b\\c", '\\', 0), "");
  EXPECT_EQ(ExtractToken("a\\\\c", '\\', 2), "");
  EXPECT_EQ(ExtractToken("a\\\\c", '\\', 3), "c");
  EXPECT_EQ(ExtractToken("", '\\', 1), "");
}

TEST(TextUtils, UpperAsciiTouchesOnlyLettersAToZ) { EXPECT_EQ(UpperAscii("ab\xe4z{"), "AB\xe4Z{"); }

TEST(StrToInt, DecimalWithOptionalSign) {
  EXPECT_EQ(StrToInt("0"), 0);
  EXPECT_EQ(StrToInt("-5"), -5);
  EXPECT_EQ(StrToInt("+12"), 12);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
  for (const char* bad : {"", "-", "1x", " 1", "2147483648", "$10"}) {
    try {
      StrToInt(bad);
      ADD_FAILURE() << bad;
    } catch (const ConvertError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
    }
  }
}

}  // namespace
}  // namespace veilbox
