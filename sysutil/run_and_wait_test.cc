#include "sysutil/run_and_wait.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "sysutil/globals.h"
#include "testing/test_support.h"
#include "text/command_line_split.h"

namespace veilbox {
namespace {

using text::JoinCommandLine;
using veilbox::testing::HelperPath;
using veilbox::testing::ScratchDir;

// What exit-with wrote about its start.
struct Record {
  std::string cwd;
  std::string cmdline;  // Windows only
  std::vector<std::string> args;
};

Record ReadRecord(const std::string& file) {
  Record r;
  std::istringstream in(veilbox::testing::ReadFileBytes(file));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("cwd=", 0) == 0) r.cwd = line.substr(4);
    if (line.rfind("cmdline=", 0) == 0) r.cmdline = line.substr(8);
    if (line.rfind("arg=", 0) == 0) r.args.push_back(line.substr(4));
  }
  return r;
}

std::string InDir(const ScratchDir& dir, const std::string& name) {
  return (dir.path() / name).string();
}

TEST(RunAndWait, ExitCodesComeBackUnchanged) {
  for (int code : {0, 3, 255}) {
    LastStatus.clear();
    EXPECT_EQ(
        RunAndWait("", JoinCommandLine({HelperPath("exit-with"), "-", std::to_string(code)}), ""),
        code);
    EXPECT_EQ(LastStatus, kSuccessText);
  }
}

TEST(RunAndWait, ProgramThatCannotStart) {
  ScratchDir dir;
  const std::string missing = InDir(dir, "no-such-program.exe");
  EXPECT_EQ(RunAndWait("", JoinCommandLine({missing, "x"}), ""), -1);
  EXPECT_EQ(LastStatus, "Unable to start Application ");
  EXPECT_EQ(RunAndWait(missing, "no-such-program.exe x", ""), -1);
  EXPECT_EQ(LastStatus, "Unable to start Application " + missing);
  // A missing current directory is a start failure too.
  EXPECT_EQ(RunAndWait("", JoinCommandLine({HelperPath("exit-with"), "-", "0"}),
                       InDir(dir, "no-such-dir")),
            -1);
  EXPECT_EQ(LastStatus, "Unable to start Application ");
}

TEST(RunAndWait, CommandLineAndDirectoryArriveAsGiven) {
  ScratchDir dir;
  const std::string record = InDir(dir, "record.txt");
  const std::vector<std::string> args = {HelperPath("exit-with"),
                                         record,
                                         "0",
                                         "two words",
                                         "quote\"inside",
                                         "back\\slash\\",
                                         "",
                                         "tab\there",
                                         "C:\\Program Files\\Citect\\",
                                         std::string(20000, 'x')};
  const std::string line = JoinCommandLine(args);
  ASSERT_EQ(RunAndWait("", line, dir.str()), 0) << LastStatus;
  Record r = ReadRecord(record);
  EXPECT_EQ(r.args, args);
  EXPECT_TRUE(std::filesystem::equivalent(r.cwd, dir.path())) << r.cwd;

  // No directory given: the caller's.
  ASSERT_EQ(RunAndWait("", line, ""), 0);
  r = ReadRecord(record);
  EXPECT_TRUE(std::filesystem::equivalent(r.cwd, std::filesystem::current_path())) << r.cwd;
}

TEST(RunAndWait, ApplicationNameIsTheProgram) {
  ScratchDir dir;
  const std::string record = InDir(dir, "record.txt");
  EXPECT_EQ(RunAndWait(HelperPath("exit-with"), JoinCommandLine({"other-name", record, "7"}), ""),
            7);
  EXPECT_EQ(LastStatus, kSuccessText);
  EXPECT_EQ(ReadRecord(record).args, (std::vector<std::string>{"other-name", record, "7"}));
}

TEST(RunAndWait, CommandLineBeyondTheSystemLimitIsAStartFailure) {
  const std::string helper = HelperPath("exit-with");
  const std::string fits = JoinCommandLine({helper, "-", "0", ""});
  EXPECT_EQ(RunAndWait("", fits + std::string(32766 - fits.size(), 'y'), ""), 0);
  EXPECT_EQ(RunAndWait("", fits + std::string(32767 - fits.size(), 'y'), ""), -1);
  EXPECT_EQ(LastStatus, "Unable to start Application ");
}

}  // namespace
}  // namespace veilbox
