// Recovery in a project directory that two installations share, against
// the native build. X's run sets aside a person's A.ci in the shared
// directory and is killed outright while its compiler runs. Y's run then
// compiles a project that includes the same directory, and while Y's
// compiler runs, X's next run starts: before it undoes anything of the
// killed run, it waits for the shared directory's lock, so Y's compiler
// reads the plain text to its end, and the person's file comes back only
// once Y is done. Afterwards the person's file is as it was (bytes,
// attributes, times, links), no plain text is left anywhere, and each run
// ended with 0 only because its compiler saw every plain file whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "testing/dbf_writer.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/e2e/e2e_scenario.h"
#include "testing/test_support.h"

namespace veilbox::e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

const std::vector<std::string> kSharedLines = {std::string(kSecret) + " of A in Shared"};

// Waits up to the limit for a file to appear.
bool AppearsWithin(const fs::path& path, std::chrono::seconds limit) {
  for (const auto give_up = Clock::now() + limit; Clock::now() < give_up;) {
    if (fs::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Whether the process has ended, without reaping it.
bool Ended(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid != 0;
}

int Wait(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// One installation in a prefix of its own: the registry, Citect.ini, the
// master table naming its project and Shared, the project (one
// ProtectedFile) including Shared, and a compiler (a script) that:
//  - with the kill mark there, kills the run that started it, outright;
//  - otherwise notes that it started, compares every plain file with its
//    plain text, waits for the go mark when asked to, compares them again,
//    and records "seen all" only when each was there whole both times.
class Site {
 public:
  // Shared is made here, with A.ci.Veilbox, or is a link to another
  // site's Shared.
  Site(const std::string& project, const Site* shared_with = nullptr) : project_(project) {
    WriteFile(prefix_.path() / "registry.reg",
              "Windows Registry Editor Version 5.00\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox]\r\n"
              "\"CitectDir\"=\"C:\\\\VBE\\\\Citect\"\r\n"
              "\"CompExe\"=\"C:\\\\VBE\\\\Bin\\\\ctcomp.exe\"\r\n"
              "\"AttachName\"=\"ctcomp.exe\"\r\n\"CitectVer\"=\"7.20\"\r\n\r\n");
    ini_ = "[CTEDIT]\r\nUSER=C:\\VBE\\User\r\nBIN=C:\\VBE\\Bin\r\nCOMPILEOKMESSAGE=1\r\n";
    WriteFile(IniPath(), ini_);
    WriteFile(Root() / "User" / "master.dbf",
              veilbox::testing::MakeMasterDbf(
                  {{{project, "C:\\VBE\\" + project}}, {{"Shared", "C:\\VBE\\Shared"}}}));
    const std::vector<std::string> own_lines = {std::string(kSecret) + " of " + project};
    WriteFile(Root() / project / (project + ".ci.Veilbox"), Protect(own_lines));
    WriteFile(Root() / project / "Include.dbf", veilbox::testing::MakeIncludeDbf({{{"Shared"}}}));
    if (shared_with)
      fs::create_symlink(shared_with->SharedDir(), SharedDir());
    else
      WriteFile(SharedDir() / "A.ci.Veilbox", Protect(kSharedLines));

    std::string compare;
    const auto expect = [&](const fs::path& plain, const std::vector<std::string>& lines) {
      const fs::path expected = outside_.path() / (plain.filename().string() + ".expected");
      WriteFile(expected, PlainText(lines));
      // Names are looked up without regard to case, as on Windows.
      const std::string dir = Quoted(plain.parent_path());
      compare += "f=" + dir + "/$(ls " + dir + " | grep -ix '" + plain.filename().string() +
                 "' | head -n 1)\n" + "cmp -s \"$f\" " + Quoted(expected) +
                 " || { echo \"not seen " + plain.filename().string() + " at the $1\" >> " +
                 Quoted(Record()) + "; exit 9; }\n";
    };
    expect(Root() / project / (Upper(project) + ".CI"), own_lines);
    expect(SharedDir() / "A.CI", kSharedLines);
    const std::string script =
        "#!/bin/sh\n"
        "if [ -e " +
        Quoted(KillMark()) + " ]; then rm " + Quoted(KillMark()) +
        "; kill -KILL $PPID; exit 0; fi\n"
        "check() {\n" +
        compare +
        "}\n"
        "touch " +
        Quoted(StartedMark()) +
        "\n"
        "check start\n"
        "if [ -e " +
        Quoted(WaitMark()) +
        " ]; then\n"
        "  i=0; while [ ! -e " +
        Quoted(GoMark()) +
        " ] && [ $i -lt 600 ]; do sleep 0.05; "
        "i=$((i+1)); done\n"
        "fi\n"
        "check end\n"
        "echo 'seen all' >> " +
        Quoted(Record()) + "\nexit 0\n";
    const fs::path compiler = Root() / "Bin" / "ctcomp.exe";
    WriteFile(compiler, script);
    fs::permissions(compiler, fs::perms::owner_all);
  }

  static std::string Upper(std::string text) {
    for (char& c : text)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
  }

  fs::path Root() const { return prefix_.path() / "drive_c" / "VBE"; }
  fs::path SharedDir() const { return Root() / "Shared"; }
  fs::path IniPath() const { return prefix_.path() / "windows" / "Citect.ini"; }
  fs::path Record() const { return outside_.path() / "compiler.txt"; }
  fs::path KillMark() const { return outside_.path() / "kill-the-run"; }
  fs::path StartedMark() const { return outside_.path() / "compiler-started"; }
  fs::path WaitMark() const { return outside_.path() / "wait-for-go"; }
  fs::path GoMark() const { return outside_.path() / "go"; }
  const std::string& ini() const { return ini_; }
  const fs::path& prefix() const { return prefix_.path(); }

  // Starts Veilbox on the project; its boxes and debugger output go to a
  // file.
  pid_t Start() const {
    const std::string program = VeilboxPath();
    const std::string prefix = prefix_.str();
    const std::string boxes = (outside_.path() / "boxes").string();
    fs::remove(Record());
    fs::remove(StartedMark());
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("VEILBOX_PREFIX", prefix.c_str(), 1);
      if (std::freopen(boxes.c_str(), "w", stderr) == nullptr) _exit(126);
      execl(program.c_str(), program.c_str(), project_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    return pid;
  }

  std::string Output() const { return veilbox::testing::ReadFileBytes(outside_.path() / "boxes"); }
  std::string Compiled() const {
    std::string text = veilbox::testing::ReadFileBytes(Record());
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }

 private:
  std::string project_;
  veilbox::testing::ScratchDir prefix_;
  veilbox::testing::ScratchDir outside_;  // expected plain texts, marks, the record, the boxes
  std::string ini_;
};

// The person's own A.ci in the shared directory: a second name elsewhere
// in it, attributes of its own, last written long ago.
void PutPersonsFile(const fs::path& shared) {
  WriteFile(shared / "A.ci", "my own A.ci, not the vendor's\r\n");
  fs::create_hard_link(shared / "A.ci", shared / "A backup.txt");
  platform::SetAttributes((shared / "A.ci").string(), platform::kAttrArchive);
  fs::last_write_time(shared / "A.ci",
                      fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
}

// Whether the person's A.ci stands at a set-aside name.
bool SetAside(const fs::path& shared) {
  for (const auto& entry : fs::directory_iterator(shared)) {
    const std::string name = Site::Upper(entry.path().filename().string());
    if (name.rfind("A.CI.~VB", 0) == 0) return true;
  }
  return false;
}

TEST(SharedDirectoryRecovery, WaitsForTheOtherInstallationsCompileBeforeItRecovers) {
  Site x("Alpha");
  Site y("Beta", &x);
  PutPersonsFile(x.SharedDir());
  const auto before = Snapshot(x.Root().string());
  const auto y_before = Snapshot(y.Root().string());

  // X1 sets the person's A.ci aside and is killed while its compiler runs.
  WriteFile(x.KillMark(), "");
  const int x1 = Wait(x.Start());
  ASSERT_EQ(x1, 128 + SIGKILL) << x.Output();
  ASSERT_TRUE(SetAside(x.SharedDir())) << "the killed run set nothing aside";

  // Y1 compiles; its compiler waits for the go mark in the middle.
  WriteFile(y.WaitMark(), "");
  const pid_t y1 = y.Start();
  ASSERT_TRUE(AppearsWithin(y.StartedMark(), std::chrono::seconds(30))) << y.Output();

  // X2 starts while Y1's compiler runs, and must wait for the shared
  // directory's lock before it recovers anything.
  const pid_t x2 = x.Start();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_FALSE(Ended(x2)) << "X's next run ended while Y's compiler ran: " << x.Output();
  EXPECT_TRUE(SetAside(x.SharedDir())) << "the person's file moved while Y's compiler ran";
  WriteFile(y.GoMark(), "");

  EXPECT_EQ(Wait(y1), 0) << y.Output();
  EXPECT_EQ(y.Compiled(), "seen all") << y.Output();
  EXPECT_EQ(Wait(x2), 0) << x.Output();
  EXPECT_EQ(x.Compiled(), "seen all") << x.Output();

  EXPECT_EQ(Snapshot(x.Root().string()), before);
  EXPECT_EQ(Snapshot(y.Root().string()), y_before);
  for (const Site* site : {&x, &y}) {
    EXPECT_EQ(FilesHoldingTheSecret(site->prefix().string()), std::vector<std::string>{});
    EXPECT_EQ(veilbox::testing::ReadFileBytes(site->IniPath()), site->ini());
    for (const auto& entry : fs::directory_iterator(site->prefix())) {
      const std::string name = entry.path().filename().string();
      EXPECT_EQ(name.find(".journal"), std::string::npos) << name;
      EXPECT_FALSE(name.ends_with(".locks")) << name;
    }
  }
}

}  // namespace
}  // namespace veilbox::e2e
