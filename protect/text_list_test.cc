#include "protect/text_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veilbox {
namespace {

using Lines = std::vector<std::string>;

Lines LinesOf(const TextList& list) { return Lines(list.begin(), list.end()); }

TEST(TextListTest, ReadingSplitsAtCrLfOrBothAndStopsAtByteZero) {
  struct Case {
    std::string bytes;
    Lines lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
      {"a\n\nb\n", {"a", "", "b"}},
      {"\r\n", {""}},
      {"\n\r", {"", ""}},
      {"\r\r\n\n", {"", "", ""}},
      {std::string("a\0b\nc", 5), {"a"}},
      {std::string("ab\r\n\0cd\r\n", 9), {"ab"}},
      {std::string("\0ab", 3), {}},
      {"\t\v\f x\x0E\xFF", {"\t\v\f x\x0E\xFF"}},
      {"0123456789\t\x0B\x0C\x01"
       "abcdefghijkl\rnext line, longer\n\n12345678\r\n",
       {"0123456789\t\x0B\x0C\x01"
        "abcdefghijkl",
        "next line, longer", "", "12345678"}},
  };
  for (const Case& c : cases) {
    TextList list;
    list.Add("stale");
    list.SetText(c.bytes);
    EXPECT_EQ(LinesOf(list), c.lines) << testing::PrintToString(c.bytes);
  }
}

TEST(TextListTest, WritingEndsEveryLineWithCrLf) {
  TextList list;
  EXPECT_EQ(list.Text(), "");
  list.Add("");
  EXPECT_EQ(list.Text(), "\r\n");
  list.Add("b");
  list.Add("");
  EXPECT_EQ(list.Text(), "\r\nb\r\n\r\n");
  TextList again;
  again.SetText(list.Text());
  EXPECT_EQ(LinesOf(again), LinesOf(list));
}

}  // namespace
}  // namespace veilbox
