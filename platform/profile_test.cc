#include "platform/profile.h"

#include <gtest/gtest.h>

#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

TEST(PrivateProfile, MissingFileOrKeyGivesTheDefault) {
  veilbox::testing::ScratchDir dir;
  const std::string ini = (dir.path() / "none.ini").string();
  EXPECT_EQ(GetProfileValue("CTEDIT", "BIN", "-1", ini), "-1");
  EXPECT_EQ(GetProfileValue("CTEDIT", "BIN", "dflt  ", ini), "dflt");
  dir.Write("c.ini", "[ctedit]\r\nuser = C:\\u \r\n");
  const std::string existing = (dir.path() / "c.ini").string();
  EXPECT_EQ(GetProfileValue("CTEDIT", "BIN", "-1", existing), "-1");
  EXPECT_EQ(GetProfileValue("CTEDIT", "USER", "-1", existing), "C:\\u");
}

TEST(PrivateProfile, WriteCreatesAndKeepsTheRest) {
  veilbox::testing::ScratchDir dir;
  const std::string ini = (dir.path() / "new.ini").string();
  ASSERT_TRUE(SetProfileValue("CTEDIT", "COMPILEOKMESSAGE", "0", ini));
  EXPECT_EQ(GetProfileValue("CTEDIT", "COMPILEOKMESSAGE", "1", ini), "0");
  ASSERT_TRUE(SetProfileValue("CTEDIT", "USER", "C:\\u", ini));
  ASSERT_TRUE(SetProfileValue("ctedit", "compileokmessage", "1", ini));
  EXPECT_EQ(GetProfileValue("CTEDIT", "COMPILEOKMESSAGE", "x", ini), "1");
  EXPECT_EQ(GetProfileValue("CTEDIT", "USER", "x", ini), "C:\\u");
}

TEST(PrivateProfile, LongValuesComeBackWhole) {
  veilbox::testing::ScratchDir dir;
  const std::string ini = (dir.path() / "long.ini").string();
  const std::string value(5000, 'v');
  dir.Write("long.ini", "[CTEDIT]\r\nUSER=" + value + "\r\n");
  EXPECT_EQ(GetProfileValue("CTEDIT", "USER", "", ini), value);
}

}  // namespace
}  // namespace veilbox::platform
