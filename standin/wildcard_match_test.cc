#include "standin/wildcard_match.h"

#include <gtest/gtest.h>

namespace veilbox::standin {
namespace {

TEST(WildcardMatch, Table) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.Veilbox", "A.Veilbox", true},
      {"*.Veilbox", "a.VEILBOX", true},
      {"*.Veilbox", "A.Veilbox.bak", false},
      {"*.Veilbox", ".Veilbox", true},
      {"*", ".", true},
      {"*", "..", true},
      {"*.*", "noext", true},
      {"abc.*", "abc", true},
      {"abc.*", "abcd", false},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"*a*b*", "xxaxxbxx", true},
      {"*a*b*", "xxbxxaxx", false},
      {"", "", true},
      {"", "a", false},
      {"a", "", false},
      {"**", "", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

}  // namespace
}  // namespace veilbox::standin
