// The stand-in registry seen through the registry paths: its file, its atomic rewrite, and
// files that must not be written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/registry.h"
#include "standin/reg_file.h"
#include "sysutil/globals.h"
#include "sysutil/reg_path.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

using testing::ReadFileBytes;
using testing::ScratchDir;

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string kSettings = kHeader +
                              "[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox]\r\n"
                              "\"CitectDir\"=\"C:\\\\Citect\\\\\"\r\n\r\n";

TEST(RegistryPosix, FirstWriteCreatesTheFile) {
  ScratchDir dir;
  testing::PrefixOverride prefix(dir.str() + "/new");
  EXPECT_EQ(ReadRegString(kHkeyLocalMachine, "Software\\Talvoren\\Veilbox\\CitectDir"), kNotFound);
  WriteRegString(kHkeyCurrentUser, "Software\\Talvoren\\Veilbox\\Forms\\FrmMainLeft", "12");
  EXPECT_EQ(LastStatus, kSuccessText);
  EXPECT_EQ(ReadFileBytes(dir.path() / "new" / "registry.reg"),
            kHeader +
                "[HKEY_CURRENT_USER\\Software]\r\n\r\n"
                "[HKEY_CURRENT_USER\\Software\\Talvoren]\r\n\r\n"
                "[HKEY_CURRENT_USER\\Software\\Talvoren\\Veilbox]\r\n\r\n"
                "[HKEY_CURRENT_USER\\Software\\Talvoren\\Veilbox\\Forms]\r\n"
                "\"FrmMainLeft\"=\"12\"\r\n\r\n");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path() / "new"))
    ++entries;
  EXPECT_EQ(entries, 1) << "no temporary file is left behind";
}

// ReadRegValue tells a missing value by having none, so that a value that
// holds the sentinel's own text is read as it stands; ReadRegString gives
// the sentinel for both.
TEST(RegistryPosix, AMissingValueIsNoneAndNotTheSentinel) {
  ScratchDir dir;
  testing::PrefixOverride prefix(dir.str());
  const std::string key = "Software\\Talvoren\\Veilbox\\";
  WriteRegString(kHkeyLocalMachine, key + "CitectVer", kNotFound);
  EXPECT_EQ(ReadRegValue(kHkeyLocalMachine, key + "CitectVer", RegView::kOwn), kNotFound);
  EXPECT_EQ(ReadRegValue(kHkeyLocalMachine, key + "CompExe", RegView::kOwn), std::nullopt);
  EXPECT_EQ(ReadRegValue(kHkeyLocalMachine, "Software\\Elsewhere\\CompExe", RegView::kOwn),
            std::nullopt);
  EXPECT_EQ(ReadRegString(kHkeyLocalMachine, key + "CompExe"), kNotFound);
}

TEST(RegistryPosix, KeepsTheSpellingOfExistingKeysAndValues) {
  ScratchDir dir;
  testing::PrefixOverride prefix(dir.str());
  dir.Write("registry.reg", kSettings);
  WriteRegString(kHkeyLocalMachine, "SOFTWARE\\talvoren\\VEILBOX\\citectdir", "D:\\");
  WriteRegString(kHkeyLocalMachine, "SOFTWARE\\talvoren\\VEILBOX\\CompExe", "ctc.exe");
  EXPECT_EQ(ReadFileBytes(dir.path() / "registry.reg"),
            kHeader +
                "[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox]\r\n"
                "\"CitectDir\"=\"D:\\\\\"\r\n"
                "\"CompExe\"=\"ctc.exe\"\r\n\r\n");
}

TEST(RegistryPosix, ReadsFilesRegeditWrites) {
  ScratchDir dir;
  testing::PrefixOverride prefix(dir.str());
  std::string utf16 = "\xFF\xFE";
  for (char c : kSettings) utf16 += std::string{c, '\0'};
  dir.Write("registry.reg", utf16);
  EXPECT_EQ(ReadRegString(kHkeyLocalMachine, "Software\\Talvoren\\Veilbox\\CitectDir"),
            "C:\\Citect\\");
}

// Registries the caller may not change: nothing is written, the read still
// works where the file can be read, and the file stays as it was.
TEST(RegistryPosix, RegistriesThatMustNotBeWritten) {
  struct Case {
    const char* what;
    std::string content;
    bool read_only_file;
    bool read_only_dir;
    std::string read;  // of CitectDir
  };
  const std::vector<Case> cases = {
      {"file that does not parse", "not a registry file\r\n", false, false, kNotFound},
      {"file without write permission", kSettings, true, false, "C:\\Citect\\"},
      {"directory without write permission", "", false, true, kNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    testing::PrefixOverride prefix(dir.str());
    const auto file = dir.path() / "registry.reg";
    if (!c.content.empty()) dir.Write("registry.reg", c.content);
    if (c.read_only_file) ::chmod(file.c_str(), 0444);
    if (c.read_only_dir) ::chmod(dir.path().c_str(), 0555);

    EXPECT_EQ(ReadRegString(kHkeyLocalMachine, "Software\\Talvoren\\Veilbox\\CitectDir"), c.read);
    EXPECT_EQ(LastStatus, kSuccessText);
    WriteRegString(kHkeyLocalMachine, "Software\\Talvoren\\Veilbox\\CitectDir", "D:\\");
    EXPECT_EQ(LastStatus, kSuccessText) << "a key that cannot be opened stops the write quietly";
    WriteRegString(kHkeyLocalMachine, "Software\\Other\\Value", "x");
    EXPECT_EQ(LastStatus, kSuccessText);

    EXPECT_EQ(ReadFileBytes(file), c.content);
    EXPECT_EQ(std::filesystem::exists(file), !c.content.empty());
    ::chmod(dir.path().c_str(), 0755);
  }
}

// Two programs that write at the same time keep every value of both: each
// read-modify-write of the file is done under a lock.
TEST(RegistryPosix, ConcurrentWritersLoseNothing) {
  ScratchDir dir;
  testing::PrefixOverride prefix(dir.str());
  dir.Write("registry.reg", kSettings);
  constexpr int kValues = 150;
  pid_t writers[2];
  for (int w = 0; w < 2; ++w) {
    writers[w] = fork();
    if (writers[w] == 0) {
      for (int i = 0; i < kValues; ++i) {
        WriteRegString(
            kHkeyLocalMachine,
            "Software\\Talvoren\\Veilbox\\W" + std::to_string(w) + "_" + std::to_string(i),
            std::to_string(i));
        if (LastStatus != kSuccessText) _exit(1);
      }
      _exit(0);
    }
  }
  for (pid_t writer : writers) {
    int status = 0;
    waitpid(writer, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  // Read back from the file itself: a lookup through the API reads the
  // whole file for every value it looks at.
  standin::RegFile file;
  ASSERT_TRUE(standin::ParseRegFile(ReadFileBytes(dir.path() / "registry.reg"), &file, nullptr));
  const standin::RegFileKey* key = file.FindKey("HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox");
  ASSERT_NE(key, nullptr);
  int missing = 0;
  for (int w = 0; w < 2; ++w)
    for (int i = 0; i < kValues; ++i)
      if (!key->FindValue(
              std::string("W")
                  .append(std::to_string(w))
                  .append("_")
                  .append(std::to_string(i))))  // appended: GCC 12 misreports "W" + ... under -O2
        ++missing;
  EXPECT_EQ(missing, 0);
}

// One line the file cannot read (a comment after a value) leaves every
// other setting readable, and a write keeps that line.
TEST(RegistryPosix, UnreadableLineIsSkipped) {
  ScratchDir dir;
  testing::PrefixOverride prefix(dir.str());
  dir.Write("registry.reg", kSettings +
                                "[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox]\r\n"
                                "\"CitectVer\"=\"7.20\" ; since 2011\r\n");
  EXPECT_EQ(ReadRegString(kHkeyLocalMachine, "Software\\Talvoren\\Veilbox\\CitectDir"),
            "C:\\Citect\\");
  WriteRegString(kHkeyLocalMachine, "Software\\Talvoren\\Veilbox\\CompExe", "ctc.exe");
  EXPECT_EQ(LastStatus, kSuccessText);
  EXPECT_NE(ReadFileBytes(dir.path() / "registry.reg").find("\"CitectVer\"=\"7.20\" ; since 2011"),
            std::string::npos);
}

}  // namespace
}  // namespace veilbox
