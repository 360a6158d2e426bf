#include "platform/system_error.h"

#include <gtest/gtest.h>

namespace veilbox::platform {
namespace {

TEST(SystemErrorText, WordsThenTheNumber) {
  struct Case {
    std::uint32_t code;
    const char* suffix;
  };
  for (const Case& c : {Case{2, " (2)"}, Case{5, " (5)"}, Case{112, " (112)"}}) {
    const std::string text = SystemErrorText(c.code);
    ASSERT_GT(text.size(), std::string(c.suffix).size() + 3) << text;
    EXPECT_TRUE(text.ends_with(c.suffix)) << text;
    EXPECT_EQ(text.find("error "), std::string::npos) << text;
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
  }
}

TEST(SystemErrorText, UnknownCodeIsTheNumberAlone) {
  EXPECT_EQ(SystemErrorText(0xDEAD0001u), "error 3735879681");
}

}  // namespace
}  // namespace veilbox::platform
