// The stand-in's own rules for starting programs.
#include <gtest/gtest.h>

#include <filesystem>

#include "sysutil/globals.h"
#include "sysutil/run_and_wait.h"
#include "testing/test_support.h"
#include "text/command_line_split.h"

namespace veilbox {
namespace {

using text::JoinCommandLine;
using veilbox::testing::HelperPath;
using veilbox::testing::ScratchDir;

TEST(RunAndWaitPosix, ChildKilledBySignalGives128PlusSignal) {
  EXPECT_EQ(RunAndWait("", JoinCommandLine({"/bin/sh", "-c", "kill -9 $$"}), ""), 128 + 9);
  EXPECT_EQ(LastStatus, kSuccessText);
}

TEST(RunAndWaitPosix, FileThatIsNoProgramIsAStartFailure) {
  ScratchDir dir;
  const std::string plain = dir.Write("plain.exe", "not a program");
  EXPECT_EQ(RunAndWait("", JoinCommandLine({plain}), ""), -1);
  EXPECT_EQ(LastStatus, "Unable to start Application ");
  EXPECT_EQ(RunAndWait("", "no-such-program-anywhere", ""), -1);
}

TEST(RunAndWaitPosix, WindowsProgramPathsMapOntoThePrefix) {
  ScratchDir prefix;
  veilbox::testing::PrefixOverride override(prefix.str());
  std::filesystem::create_directories(prefix.path() / "drive_c" / "Citect" / "Bin");
  std::filesystem::create_symlink(HelperPath("exit-with"),
                                  prefix.path() / "drive_c" / "Citect" / "Bin" / "CtComp.exe");
  EXPECT_EQ(RunAndWait("", "C:\\CITECT\\bin\\ctcomp.exe - 5", "C:\\Citect"), 5) << LastStatus;
  EXPECT_EQ(RunAndWait("c:\\citect\\BIN\\CTCOMP.EXE", "ctcomp - 6", ""), 6) << LastStatus;
}

}  // namespace
}  // namespace veilbox
