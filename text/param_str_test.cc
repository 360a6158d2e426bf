#include "text/param_str.h"

#include <gtest/gtest.h>

namespace veilbox::text {
namespace {

struct Case {
  const char* line;
  std::vector<std::string> params;
};

TEST(SplitParams, FollowsTheRuntimeRules) {
  const Case cases[] = {
      {"", {}},
      {"veilbox.exe", {}},
      {"veilbox.exe   ", {}},
      {"veilbox.exe /Ifoo.ini MYPROJ /Z", {"/Ifoo.ini", "MYPROJ", "/Z"}},
      // Tabs and other control bytes separate like blanks.
      {"veilbox.exe a\tb\x01"
       "c\r\nd",
       {"a", "b", "c", "d"}},
      // Quotes keep blanks and are dropped, also inside a word.
      {"veilbox.exe \"My Project\" x", {"My Project", "x"}},
      {"veilbox.exe ab\"c d\"ef", {"abc def"}},
      {"\"C:\\Program Files\\veilbox.exe\" p", {"p"}},
      // No escapes: a backslash is an ordinary byte.
      {"veilbox.exe \"C:\\dir\\\\\" q", {"C:\\dir\\\\", "q"}},
      // A pair of quotes before an argument is skipped, so no argument is
      // ever empty; an unclosed quote runs to the end of the line.
      {"veilbox.exe \"\" a \"\"\"\" b", {"a", "b"}},
      {"veilbox.exe \"\"x", {"x"}},
      {"veilbox.exe a \"b c", {"a", "b c"}},
      // A lone quote at the end gives an empty argument, which ends the count.
      {"veilbox.exe a \"", {"a"}},
      // Bytes above 127 belong to the argument.
      {"veilbox.exe \xE9t\xE9 \xA0x", {"\xE9t\xE9", "\xA0x"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitParams(c.line), c.params) << c.line;
  }
}

TEST(SplitParams, StopsAtAByteZero) {
  EXPECT_EQ(SplitParams(std::string("p a\0b c", 7)), std::vector<std::string>{"a"});
}

}  // namespace
}  // namespace veilbox::text
