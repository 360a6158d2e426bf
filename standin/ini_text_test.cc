#include "standin/ini_text.h"

#include <gtest/gtest.h>

namespace veilbox::standin {
namespace {

const char kCitectIni[] =
    "; Citect settings\r\n"
    "[General]\r\n"
    "USER=C:\\wrong\r\n"
    "\r\n"
    "[  ctEdit ]\r\n"
    "  User =  C:\\Citect\\User  \r\n"
    "bin=\"C:\\Program Files\\Citect\\Bin\"\r\n"
    "EMPTY=\r\n"
    "NOVALUE\r\n"
    ";COMPILEOKMESSAGE=0\r\n"
    "USER=second\r\n"
    "\r\n"
    "[CTEDIT]\r\n"
    "LATER=1\r\n";

TEST(IniFindValue, LooksUpTheFirstSectionAndKeyIgnoringCase) {
  struct Case {
    const char* section;
    const char* key;
    bool found;
    const char* value;
  };
  const Case cases[] = {
      {"CTEDIT", "USER", true, "C:\\Citect\\User"},
      {"ctedit", "user", true, "C:\\Citect\\User"},
      {"CTEDIT", "BIN", true, "C:\\Program Files\\Citect\\Bin"},
      {"CTEDIT", "EMPTY", true, ""},
      {"CTEDIT", "NOVALUE", false, ""},
      {"CTEDIT", "COMPILEOKMESSAGE", false, ""},
      {"CTEDIT", "LATER", false, ""},  // only the first [CTEDIT] counts
      {"General", "USER", true, "C:\\wrong"},
      {"Missing", "USER", false, ""},
  };
  for (const Case& c : cases) {
    std::string value = "untouched";
    EXPECT_EQ(IniFindValue(kCitectIni, c.section, c.key, &value), c.found)
        << c.section << "/" << c.key;
    if (c.found) {
      EXPECT_EQ(value, c.value) << c.section << "/" << c.key;
    }
  }
}

TEST(IniFindValue, ReadsEveryKindOfLineBreakAndQuotes) {
  std::string value;
  ASSERT_TRUE(IniFindValue("[a]\nx=1\ry='2'\r\nz=\"3'", "A", "Y", &value));
  EXPECT_EQ(value, "2");
  ASSERT_TRUE(IniFindValue("[a]\nx=1\ry='2'\r\nz=\"3'", "A", "Z", &value));
  EXPECT_EQ(value, "\"3'");  // quotes that do not pair stay
  ASSERT_TRUE(IniFindValue("[a]\nx=1\ry='2'\r\nz=\"3'", "A", "X", &value));
  EXPECT_EQ(value, "1");
}

TEST(IniSetValue, EditsInPlaceAndKeepsEverythingElse) {
  struct Case {
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
  };
  const Case cases[] = {
      // A new file gets the section and the key.
      {"", "CTEDIT", "COMPILEOKMESSAGE", "0", "[CTEDIT]\r\nCOMPILEOKMESSAGE=0\r\n"},
      // An existing key is rewritten under its own spelling.
      {"[ctedit]\nuser=x\n  compileOkMessage = 1 \nbin=y", "CTEDIT", "COMPILEOKMESSAGE", "0",
       "[ctedit]\nuser=x\ncompileOkMessage=0\nbin=y"},
      // A missing key goes after the last non-empty line of its section.
      {"[CTEDIT]\nUSER=x\n\n[Other]\na=b\n", "ctedit", "BIN", "c:\\bin",
       "[CTEDIT]\nUSER=x\nBIN=c:\\bin\r\n\n[Other]\na=b\n"},
      {"[CTEDIT]", "CTEDIT", "K", "v", "[CTEDIT]\r\nK=v\r\n"},
      // A missing section goes at the end, after a blank line.
      {"[Other]\r\na=b", "CTEDIT", "K", "v", "[Other]\r\na=b\r\n\r\n[CTEDIT]\r\nK=v\r\n"},
  };
  for (const Case& c : cases) {
    std::string after;
    ASSERT_TRUE(IniSetValue(c.before, c.section, c.key, c.value, &after)) << c.before;
    EXPECT_EQ(after, c.after) << c.before;
    std::string value;
    ASSERT_TRUE(IniFindValue(after, c.section, c.key, &value));
    EXPECT_EQ(value, c.value);
  }
}

TEST(IniSetValue, RefusesLineBreaksThatWouldAddLines) {
  std::string after = "kept";
  EXPECT_FALSE(IniSetValue("", "CTEDIT", "K", "1\r\nUSER=evil", &after));
  EXPECT_FALSE(IniSetValue("", "CTEDIT", "K\n", "1", &after));
  EXPECT_EQ(after, "kept");
}

}  // namespace
}  // namespace veilbox::standin
