// Exit codes and command lines that only Windows can carry.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/command_line_split.h"
#include "sysutil/globals.h"
#include "sysutil/run_and_wait.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

using platform::JoinCommandLine;
using veilbox::testing::HelperPath;

TEST(RunAndWaitWin32, FullWidthExitCodes) {
  struct Case {
    const char* code;
    int result;
  } cases[] = {
      {"259", 259},  // STILL_ACTIVE: ends the wait like any other code
      {"0xC0000005", static_cast<int>(0xC0000005u)},
      {"0xFFFFFFFF", -1},  // told apart from a start failure by LastStatus
  };
  for (const Case& c : cases) {
    LastStatus.clear();
    EXPECT_EQ(RunAndWait("", JoinCommandLine({HelperPath("exit-with"), "-", c.code}), ""), c.result)
        << c.code;
    EXPECT_EQ(LastStatus, kSuccessText);
  }
}

TEST(RunAndWaitWin32, RawCommandLineArrivesUnchanged) {
  veilbox::testing::ScratchDir dir;
  const std::string record = (dir.path() / "record.txt").string();
  std::string line = "\"";
  line += HelperPath("exit-with");
  line += "\"   " + record + " 0  a\"b\"\" c \\\\\"x y\" end";
  ASSERT_EQ(RunAndWait("", line, ""), 0);
  std::istringstream in(veilbox::testing::ReadFileBytes(record));
  std::string cmdline;
  for (std::string l; std::getline(in, l);)
    if (l.rfind("cmdline=", 0) == 0) cmdline = l.substr(8);
  EXPECT_EQ(cmdline, line);
}

}  // namespace
}  // namespace veilbox
