#include "sysutil/json_text.h"

#include <gtest/gtest.h>

namespace veilbox {
namespace {

TEST(JsonString, QuotesEscapesAndKeepsToAscii) {
  const struct {
    std::string text;
    const char* json;
  } cases[] = {
      {"", "\"\""},
      {"C:\\Proj\\\"A\"", "\"C:\\\\Proj\\\\\\\"A\\\"\""},
      {"tab\tline\r\n", "\"tab\\u0009line\\u000d\\u000a\""},
      {std::string("nul\0", 4), "\"nul\\u0000\""},
      {"\xA1\x7F\xFF", "\"\\u00a1\\u007f\\u00ff\""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonString(c.text), c.json) << c.json;
}

}  // namespace
}  // namespace veilbox
