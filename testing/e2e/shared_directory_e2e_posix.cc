// Runs that share project directories without sharing a machine, against
// the native build: two installations (two prefixes, each with its own
// registry, settings, run lock and journal) whose projects include one
// project directory, as two engineers' machines compiling from one file
// share. And runs that must not start anything: no compiler directory
// set, no run lock to be had.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dir_lock.h"
#include "protect/protected_file.h"
#include "protect/text_list.h"
#include "testing/dbf_writer.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/protected_file_builder.h"
#include "testing/test_support.h"

namespace veilbox::e2e {
namespace {

namespace fs = std::filesystem;

std::string Protect(const std::string& line) {
  return veilbox::testing::ProtectedFileBytes({line});
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// One installation: a prefix with the registry, Citect.ini, master.dbf
// naming the project and Shared, the project including Shared, and a
// compiler (a script) that checks every plain file it must see at its
// start and again at its end, half a second later, and ends with 0 only
// when all were there both times.
struct Installation {
  Installation(const std::string& project, const fs::path& shared_dir) {
    const fs::path c = scratch.path() / "drive_c";
    Write(scratch.path() / "registry.reg",
          "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox]\r\n"
          "\"CitectDir\"=\"C:\\\\VBE\\\\Citect\"\r\n"
          "\"CompExe\"=\"C:\\\\VBE\\\\Citect\\\\Bin\\\\ctcomp.exe\"\r\n"
          "\"AttachName\"=\"ctcomp.exe\"\r\n\"CitectVer\"=\"7.20\"\r\n\r\n");
    Write(scratch.path() / "windows" / "Citect.ini",
          "[CTEDIT]\r\nUSER=C:\\VBE\\User\r\nBIN=C:\\VBE\\Bin\r\nCOMPILEOKMESSAGE=0\r\n");
    Write(c / "VBE" / "User" / "master.dbf",
          veilbox::testing::MakeMasterDbf(
              {{{project, "C:\\VBE\\" + project}}, {{"Shared", "C:\\VBE\\Shared"}}}));
    Write(c / "VBE" / project / (project + ".ci.Veilbox"), Protect(project));
    Write(c / "VBE" / project / "Include.dbf", veilbox::testing::MakeIncludeDbf({{{"Shared"}}}));
    if (shared_dir.empty()) {
      Write(c / "VBE" / "Shared" / "Shared.ci.Veilbox", Protect("Shared"));
    } else {
      fs::create_symlink(shared_dir, c / "VBE" / "Shared");
    }
    std::string test;
    for (const fs::path& plain :
         {c / "VBE" / project / (ToUpper(project) + ".CI"), c / "VBE" / "Shared" / "SHARED.CI"}) {
      test += "[ -f \"" + plain.string() + "\" ] || exit 9\n";
    }
    const fs::path compiler = c / "VBE" / "Bin" / "ctcomp.exe";
    Write(compiler, "#!/bin/sh\n" + test + "sleep 0.5\n" + test + "exit 0\n");
    fs::permissions(compiler, fs::perms::owner_all);
  }

  static std::string ToUpper(std::string text) {
    for (char& ch : text)
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    return text;
  }

  fs::path SharedDir() const { return scratch.path() / "drive_c" / "VBE" / "Shared"; }

  // Starts Veilbox on this installation; its message boxes go to a file.
  pid_t Start(const std::string& project) const {
    const std::string program = VeilboxPath();
    const std::string err = (scratch.path() / "boxes").string();
    const std::string prefix = scratch.str();
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("VEILBOX_PREFIX", prefix.c_str(), 1);
      if (std::freopen(err.c_str(), "w", stderr) == nullptr) _exit(126);
      execl(program.c_str(), program.c_str(), project.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid;
  }

  // The boxes the run showed, without its debugger output.
  std::string Boxes() const {
    std::istringstream all(veilbox::testing::ReadFileBytes(scratch.path() / "boxes"));
    std::string boxes;
    for (std::string line; std::getline(all, line);)
      if (line.rfind("Debug: ", 0) != 0) boxes.append(line).append("\n");
    return boxes;
  }

  veilbox::testing::ScratchDir scratch;
};

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Every file below dir whose name is a plain file's or the lock file's.
std::vector<std::string> Leftovers(const fs::path& dir) {
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(".CI") || name == platform::kDirLockName) found.push_back(name);
  }
  return found;
}

// Started together, the two runs take turns on the shared directory: each
// compiler sees all its plain files from its start to its end, and nothing
// is left behind.
TEST(SharedDirectory, TwoInstallationsCompilingProjectsThatShareAnInclude) {
  const Installation first("Alpha", {});
  const Installation second("Beta", first.SharedDir());
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    const pid_t a = first.Start("Alpha");
    const pid_t b = second.Start("Beta");
    EXPECT_EQ(Wait(a), 0) << first.Boxes();
    EXPECT_EQ(Wait(b), 0) << second.Boxes();
    EXPECT_TRUE(Leftovers(first.scratch.path()).empty());
    EXPECT_TRUE(Leftovers(second.scratch.path() / "drive_c" / "VBE" / "Beta").empty());
  }
}

// Without BIN, "-1\ctcomp.exe" relative to the current directory is never
// started, even when a program stands there.
TEST(SharedDirectory, NoCompilerDirectoryStartsNothing) {
  const Installation install("Alpha", {});
  Write(install.scratch.path() / "windows" / "Citect.ini",
        "[CTEDIT]\r\nUSER=C:\\VBE\\User\r\nCOMPILEOKMESSAGE=1\r\n");
  const fs::path marker = install.scratch.path() / "started";
  const fs::path planted = install.scratch.path() / "-1" / "ctcomp.exe";
  Write(planted, "#!/bin/sh\ntouch \"" + marker.string() + "\"\n");
  fs::permissions(planted, fs::perms::owner_all);
  const fs::path cwd = fs::current_path();
  fs::current_path(install.scratch.path());
  const int code = Wait(install.Start("Alpha"));
  fs::current_path(cwd);
  EXPECT_EQ(code, 247);
  EXPECT_FALSE(fs::exists(marker)) << "a program was started";
  EXPECT_EQ(install.Boxes(),
            "Veilbox: BIN directory not defined in Citect.ini\n"
            "Error: Veilbox Cannot Execute the the file  -1.  Veilbox is unable to continue.\n");
  EXPECT_TRUE(Leftovers(install.scratch.path()).empty());
}

// A run lock that cannot be taken (its name is held by a directory) ends
// the run before anything is decrypted, naming what could not be used.
TEST(SharedDirectory, RunLockThatCannotBeTakenEndsTheRunBeforeDecrypting) {
  const Installation install("Alpha", {});
  fs::create_directories(install.scratch.path() / "run.lock");
  EXPECT_EQ(Wait(install.Start("Alpha")), 252);
  EXPECT_EQ(install.Boxes().rfind("Veilbox: Veilbox cannot take the run lock: ", 0), 0u)
      << install.Boxes();
  EXPECT_NE(install.Boxes().find(".  Veilbox is unable to continue.\n"), std::string::npos);
  EXPECT_TRUE(Leftovers(install.scratch.path()).empty());
}

}  // namespace
}  // namespace veilbox::e2e
