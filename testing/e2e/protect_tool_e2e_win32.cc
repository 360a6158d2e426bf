// veilbox-protect and veilbox.exe as a Windows user meets them: the tool
// typed at cmd.exe, which passes wildcards on as they were typed, and the
// version both programs carry in their version resource.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "protect/protected_file.h"
#include "sysutil/version.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/test_support.h"

namespace veilbox::e2e {
namespace {

std::filesystem::path ProgramDir() { return std::filesystem::path(VeilboxPath()).parent_path(); }

struct CmdResult {
  DWORD exit_code = 0xFFFFFFFF;
  std::string out;  // standard output and error, CR removed
};

// Runs `cmd /c LINE` in dir, where veilbox-protect stands first in LINE as
// the user types it; its output goes to a file (a pipe would be held open
// by Wine's background processes).
CmdResult RunFromCmd(const std::filesystem::path& dir, const std::string& line) {
  const std::string program = (ProgramDir() / "veilbox-protect.exe").string();
  // cmd /c takes the text between the first and the last quote whole.
  std::string command = "cmd.exe /c \"\"";
  command.append(program).append("\" ").append(line).append("\"");
  // A file of its own for each command: a background process of Wine's
  // may still hold the last one's inherited handle.
  CmdResult result;
  char out_name[MAX_PATH];
  if (!GetTempFileNameA(dir.parent_path().string().c_str(), "cmd", 0, out_name)) return result;
  const std::string out_path = out_name;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE file =
      CreateFileA(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return result;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = file;
  si.hStdError = file;
  PROCESS_INFORMATION pi = {};
  const std::string cwd = dir.string();
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                     cwd.c_str(), &si, &pi)) {
    WaitForSingleObject(pi.hProcess, 120000);
    GetExitCodeProcess(pi.hProcess, &result.exit_code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(file);
  std::ifstream in(out_path, std::ios::binary);
  result.out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  result.out.erase(std::remove(result.out.begin(), result.out.end(), '\r'), result.out.end());
  return result;
}

// The plain text of a ProtectedFile, or "(not decrypted)".
std::string Decrypted(const std::filesystem::path& file) {
  std::string bytes = veilbox::testing::ReadFileBytes(file);
  if (bytes.empty() || !DecryptProtectedText(&bytes)) return "(not decrypted)";
  return bytes;
}

struct WildcardCase {
  const char* name;
  std::string line;
  DWORD exit_code;
  // Files below the directory that must hold a ProtectedFile afterwards,
  // and those that must not.
  std::vector<std::string> written;
  std::vector<std::string> not_written;
  std::vector<std::string> output;
};

void PrintTo(const WildcardCase& c, std::ostream* out) { *out << c.name; }

const WildcardCase kWildcardCases[] = {
    {"StarInTheCurrentDirectory",
     "encrypt *.ci",
     0,
     {"Alpha.ci", "beta.CI"},
     {"notes.txt", "sub\\Gamma.ci", "Old.ci.Veilbox"},
     {"Alpha.ci.Veilbox: written, 1 lines", "beta.CI.Veilbox: written, 1 lines",
      "2 files, written: 2, failed: 0"}},
    {"StarBelowADirectory",
     "encrypt sub\\*.ci",
     0,
     {"sub\\Gamma.ci"},
     {"Alpha.ci", "beta.CI"},
     {"sub\\Gamma.ci.Veilbox: written, 1 lines"}},
    {"QuestionMark",
     "encrypt ?lpha.ci",
     0,
     {"Alpha.ci"},
     {"beta.CI"},
     {"Alpha.ci.Veilbox: written, 1 lines"}},
    {"RecursiveFromTheCurrentDirectory",
     "encrypt --recursive . *.ci",
     0,
     {"Alpha.ci", "beta.CI", "sub\\Gamma.ci"},
     {"notes.txt"},
     {"3 files, written: 3, failed: 0"}},
    {"PatternThatMatchesNothing",
     "encrypt *.cii",
     1,
     {},
     {"Alpha.ci", "beta.CI"},
     {"*.cii"}},
};

class ProtectFromCmd : public ::testing::TestWithParam<WildcardCase> {};

TEST_P(ProtectFromCmd, ExpandsWildcardsItself) {
  const WildcardCase& c = GetParam();
  veilbox::testing::ScratchDir scratch;
  const std::filesystem::path dir = scratch.path() / "work";
  std::filesystem::create_directories(dir / "sub");
  for (const char* name : {"Alpha.ci", "beta.CI", "sub\\Gamma.ci", "notes.txt"})
    scratch.Write(std::string("work\\") + name, std::string("FUNCTION ") + name + "\r\n");
  scratch.Write("work\\Old.ci.Veilbox", "an older ProtectedFile");

  const CmdResult run = RunFromCmd(dir, c.line);
  EXPECT_EQ(run.exit_code, c.exit_code) << run.out;
  for (const std::string& line : c.output)
    EXPECT_NE(run.out.find(line), std::string::npos) << "\"" << line << "\" not in:\n" << run.out;
  for (const std::string& name : c.written) {
    EXPECT_EQ(Decrypted(dir / (name + ".Veilbox")), "FUNCTION " + name + "\r\n") << name;
  }
  for (const std::string& name : c.not_written)
    EXPECT_FALSE(std::filesystem::exists(dir / (name + ".Veilbox"))) << name;
  EXPECT_EQ(veilbox::testing::ReadFileBytes(dir / "Old.ci.Veilbox"), "an older ProtectedFile");
}

INSTANTIATE_TEST_SUITE_P(Table, ProtectFromCmd, ::testing::ValuesIn(kWildcardCases),
                         [](const ::testing::TestParamInfo<WildcardCase>& info) {
                           return std::string(info.param.name);
                         });

// A file that is not there: the system's text for the error, its number after it.
TEST(ProtectFromCmdErrors, MissingFileIsReportedInWords) {
  veilbox::testing::ScratchDir scratch;
  const std::filesystem::path dir = scratch.path() / "work";
  std::filesystem::create_directories(dir);
  for (const char* command : {"encrypt nosuch.ci", "check nosuch.ci.Veilbox"}) {
    const CmdResult run = RunFromCmd(dir, command);
    EXPECT_EQ(run.exit_code, 1u) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex("^nosuch\\.ci(\\.Veilbox)?: cannot be "
                                                      "opened: [A-Za-z][^\n]* \\(2\\)\n")))
        << command << ":\n"
        << run.out;
  }
}

TEST(ProtectFromCmdVersion, ToolPrintsItsVersion) {
  veilbox::testing::ScratchDir scratch;
  const std::filesystem::path dir = scratch.path() / "work";
  std::filesystem::create_directories(dir);
  const CmdResult run = RunFromCmd(dir, "--version");
  EXPECT_EQ(run.exit_code, 0u) << run.out;
  EXPECT_EQ(run.out, "veilbox-protect " + VersionText() + "\n");
}

// One string of the version resource's US English block.
std::string VersionString(const std::vector<char>& block, const std::string& name) {
  char* value = nullptr;
  UINT size = 0;
  const std::string query = "\\StringFileInfo\\040904E4\\" + name;
  if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &size) ||
      value == nullptr || size == 0) {
    return "(missing)";
  }
  return std::string(value, strnlen(value, size));
}

// What Explorer's Details tab shows, for both programs.
TEST(ProgramVersionResource, BothProgramsCarryTheVersion) {
  for (const char* name : {"veilbox.exe", "veilbox-protect.exe"}) {
    SCOPED_TRACE(name);
    const std::string file = (ProgramDir() / name).string();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
    ASSERT_GT(size, 0u) << "no version resource in " << file;
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(file.c_str(), 0, size, block.data()));
    EXPECT_EQ(VersionString(block, "FileVersion"), VersionNumber());
    EXPECT_EQ(VersionString(block, "ProductVersion"), VersionNumber());
    EXPECT_EQ(VersionString(block, "ProductName"), "Veilbox");
    EXPECT_EQ(VersionString(block, "CompanyName"), "Talvoren");
    EXPECT_EQ(VersionString(block, "OriginalFilename"), name);

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size));
    const std::string numeric = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(numeric, VersionNumber());
  }
}

}  // namespace
}  // namespace veilbox::e2e
