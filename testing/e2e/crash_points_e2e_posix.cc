// Runs made to crash, or to fail with an error, at one system call each,
// against the native build: the K-th call of one kind, for every K a
// normal run reaches, through strace's fault injection (-f -b execve, so
// that the compiler itself is not touched). The layout: a project Main
// with three ProtectedFiles including a project Lib with two, and a
// person's own hidden file at one plain file's name.
//
// After each such run a normal run follows; then no file holds the plain
// text, every entry of the person's is as it was (bytes, attributes,
// times), nothing set aside, locked or journalled is left behind,
// COMPILEOKMESSAGE is back to 1, and no run ended with 0 unless its
// compiler saw every plain file whole. The same points hit the run that
// recovers after a run killed while its compiler ran. With two
// installations sharing Lib, the first is killed at each point, then the
// second compiles while the first one's next run recovers.
//
// The test command runs a fixed sample of the points (about three minutes
// on a busy machine of two cores), with the points aimed at the spots
// where a failed look must not count as "nothing there" (kRunAims,
// kRecoveryAims). By hand:
//
//   VEILBOX_CRASH_POINTS=all             every point
//   VEILBOX_CRASH_POINTS=unlink:3:EIO,rename:2:kill   these points alone
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/files.h"
#include "testing/dbf_writer.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/e2e/e2e_scenario.h"
#include "testing/protected_file_builder.h"
#include "testing/test_support.h"

namespace veilbox::e2e {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// What is done to the K-th call: "kill" (SIGKILL on entering it) or the
// name of the error it fails with.
struct Point {
  std::string call;
  int k = 0;
  std::string what;
};

std::string Describe(const Point& p) {
  return "call " + p.call + ", K " + std::to_string(p.k) + ", " +
         (p.what == "kill" ? std::string("killed") : "error " + p.what);
}

// The calls that change the file system, with the errors each can
// realistically fail with; then those that only read or look.
struct CallFaults {
  const char* call;
  bool killed;
  std::vector<const char*> errors;
};

const std::vector<CallFaults>& Calls() {
  static const std::vector<CallFaults> calls = {
      {"openat", true, {"EACCES", "EPERM", "ENOSPC", "EIO"}},
      {"write", true, {"ENOSPC", "EIO"}},
      {"pwrite64", true, {"ENOSPC", "EIO"}},
      {"rename", true, {"EACCES", "EBUSY", "EPERM", "EIO"}},
      {"renameat", true, {"EACCES", "EBUSY", "EPERM", "EIO"}},
      {"renameat2", true, {"EACCES", "EBUSY", "EPERM", "EIO"}},
      {"unlink", true, {"EACCES", "EBUSY", "EPERM", "EIO"}},
      {"unlinkat", true, {"EACCES", "EBUSY", "EPERM", "EIO"}},
      {"fchmod", true, {"EPERM", "EIO"}},
      {"fchmodat", true, {"EPERM", "EIO"}},
      {"fsetxattr", true, {"ENOTSUP", "ENOSPC", "EPERM"}},
      {"setxattr", true, {"ENOTSUP", "ENOSPC", "EPERM"}},
      {"lsetxattr", true, {"ENOTSUP", "ENOSPC", "EPERM"}},
      {"fsync", true, {"EIO", "ENOSPC"}},
      {"fdatasync", true, {"EIO", "ENOSPC"}},
      {"ftruncate", true, {"EIO", "EPERM"}},
      {"mkdir", true, {"EACCES", "ENOSPC"}},
      {"flock", true, {"ENOLCK"}},
      // Killed only: Linux releases the descriptor even when close fails,
      // and an injected failure would keep it open (a pipe never ends).
      {"close", true, {}},
      {"read", false, {"EIO"}},
      {"getdents64", false, {"EIO"}},
      // Looks that fail: the safety net must not take them for "nothing
      // there" (stat and lstat are newfstatat here).
      {"newfstatat", false, {"EACCES", "EIO"}},
      {"getxattr", false, {"EIO"}},
      {"lgetxattr", false, {"EIO"}},
  };
  return calls;
}

std::string Join(const std::vector<std::string>& parts, const std::string& sep) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : sep) + part;
  return text;
}

std::string ReadAll(const fs::path& path) { return veilbox::testing::ReadFileBytes(path); }

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

constexpr int kHung = -2;

// Waits for the process group led by pid, and for the rest of the group
// (a compiler orphaned by a kill comes to this process, a subreaper: see
// SetUp); kHung (and the group killed) when that takes longer than the
// limit.
int Finish(pid_t pid, std::chrono::seconds limit) {
  const auto give_up = Clock::now() + limit;
  int code = -1;
  for (;;) {
    siginfo_t info{};
    while (waitid(P_PGID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG) == 0 &&
           info.si_pid != 0) {
      if (info.si_pid == pid)
        code = info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
      info = {};
    }
    if (kill(-pid, 0) != 0) return code;
    if (Clock::now() > give_up) {
      kill(-pid, SIGKILL);
      while (waitid(P_PGID, static_cast<id_t>(pid), &info, WEXITED) == 0) {
      }
      return kHung;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

// One installation in a prefix of its own: the registry, Citect.ini, the
// master table naming the project and Lib, the project including Lib, and
// a compiler (a script) that compares every plain file it must see with
// its plain text and records "seen all" only when each was there whole.
class Site {
 public:
  // `sources`: the project's ProtectedFiles by base name. Lib is made here
  // with D and E, or is a link to another site's Lib.
  Site(const std::string& project, const std::vector<std::string>& sources,
       const Site* shared_lib = nullptr) {
    const fs::path proj = Root() / "Proj";
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
                  {{{project, "C:\\VBE\\Proj\\" + project}}, {{"Lib", "C:\\VBE\\Proj\\Lib"}}}));
    WriteFile(proj / project / "Include.dbf", veilbox::testing::MakeIncludeDbf({{{"Lib"}}}));
    const auto source = [&](const fs::path& dir, const std::string& base) {
      const std::vector<std::string> lines = {std::string(kSecret) + " " + base, "", "END " + base};
      WriteFile(dir / (base + ".CI.Veilbox"), veilbox::testing::ProtectedFileBytes(lines));
      plain_.push_back(dir / (base + ".CI"));
      WriteFile(outside_.path() / (base + ".expected"), PlainText(lines));
    };
    for (const std::string& base : sources) source(proj / project, base);
    if (shared_lib == nullptr) {
      for (const char* base : {"D", "E"}) source(proj / "Lib", base);
    } else {
      fs::create_symlink(shared_lib->LibDir(), proj / "Lib");
      for (const char* base : {"D", "E"}) {
        plain_.push_back(shared_lib->LibDir() / (std::string(base) + ".CI"));
        fs::copy_file(shared_lib->outside_.path() / (std::string(base) + ".expected"),
                      outside_.path() / (std::string(base) + ".expected"));
      }
    }
    // Killing its parent, the compiler ends a run while every plain file is
    // written, someone's file set aside and the completion message off.
    std::string script = "#!/bin/sh\nif [ -e " + Quoted(KillMark()) + " ]; then rm " +
                         Quoted(KillMark()) + "; kill -KILL $PPID; exit 0; fi\n";
    for (const fs::path& plain : plain_) {
      const fs::path expected = outside_.path() / (plain.stem().string() + ".expected");
      script += "cmp -s " + Quoted(plain) + " " + Quoted(expected) + " || { echo 'not seen " +
                plain.filename().string() + "' >> " + Quoted(Record()) + "; exit 9; }\n";
    }
    script += "echo 'seen all' >> " + Quoted(Record()) + "\nexit 0\n";
    const fs::path compiler = Root() / "Bin" / "ctcomp.exe";
    WriteFile(compiler, script);
    fs::permissions(compiler, fs::perms::owner_all);
  }

  // Someone's own hidden file at a plain file's name, last written long ago.
  void PutOwnFileAt(const std::string& base) {
    const fs::path own = plain_.front().parent_path() / (base + ".CI");
    WriteFile(own, "my own " + base + ", not a plain file\r\n");
    platform::SetAttributes(own.string(), platform::kAttrHidden);
    fs::last_write_time(own, fs::file_time_type::clock::now() - std::chrono::hours(24 * 400));
  }

  fs::path Root() const { return prefix_.path() / "drive_c" / "VBE"; }
  fs::path LibDir() const { return Root() / "Proj" / "Lib"; }
  fs::path IniPath() const { return prefix_.path() / "windows" / "Citect.ini"; }
  fs::path Record() const { return outside_.path() / "compiler.txt"; }
  fs::path KillMark() const { return outside_.path() / "kill-the-run"; }
  void KillNextRunWhileCompiling() const { WriteFile(KillMark(), ""); }

  void TakeSnapshot() { before_ = Snapshot(Root().string()); }

  // Starts Veilbox on the project, behind `wrapper` (strace and its
  // options, or nothing), in a process group of its own.
  pid_t Start(const std::string& project, const std::vector<std::string>& wrapper) const {
    std::vector<std::string> text = wrapper;
    text.push_back(VeilboxPath());
    text.push_back(project);
    std::vector<char*> argv;
    for (std::string& a : text) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string prefix = prefix_.str();
    const std::string boxes = (outside_.path() / "boxes").string();
    fs::remove(Record());
    const pid_t pid = fork();
    if (pid == 0) {
      setpgid(0, 0);
      setenv("VEILBOX_PREFIX", prefix.c_str(), 1);
      if (std::freopen(boxes.c_str(), "w", stderr) == nullptr) _exit(126);
      if (std::freopen("/dev/null", "r", stdin) == nullptr) _exit(126);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    setpgid(pid, pid);  // as the child does: the group is there for Finish
    return pid;
  }

  // The boxes of the last run, without its debugger output, on one line.
  std::string Boxes() const {
    std::istringstream all(ReadAll(outside_.path() / "boxes"));
    std::vector<std::string> boxes;
    for (std::string line; std::getline(all, line);)
      if (line.rfind("Debug: ", 0) != 0) boxes.push_back(line);
    return Join(boxes, " | ");
  }

  std::string Debug() const {
    std::istringstream all(ReadAll(outside_.path() / "boxes"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(all, line);)
      if (line.rfind("Debug: ", 0) == 0) lines.push_back(line.substr(7));
    return Join(lines, " | ");
  }

  // What the compiler of the last run recorded; empty when none ran.
  std::string Compiled() const {
    std::string text = ReadAll(Record());
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }

  // What is wrong with the run's code and what its compiler saw.
  void CheckEnd(const std::string& which, int code, bool must_succeed,
                std::vector<std::string>* wrong) const {
    if (code == kHung) {
      wrong->push_back(which + " hung");
      return;
    }
    const std::string seen = Compiled();
    if (code == 0 && seen != "seen all")
      wrong->push_back(which + " ended with 0, and the compiler " +
                       (seen.empty() ? std::string("never ran") : "recorded: " + seen) + " (" +
                       Boxes() + ")");
    else if (must_succeed && code != 0)
      wrong->push_back(which + " ended with " + std::to_string(code) + " (" + Boxes() +
                       (seen.empty() ? "" : "; compiler: " + seen) + "; debug: " + Debug() + ")");
  }

  // What is wrong with the installation now that every run has ended.
  void CheckAfter(std::vector<std::string>* wrong) const {
    const auto after = Snapshot(Root().string());
    for (const auto& [name, what] : after) {
      const auto was = before_.find(name);
      if (was == before_.end())
        wrong->push_back("left behind: " + name);
      else if (was->second != what)
        wrong->push_back("changed: " + name + " (" + was->second + " -> " + what + ")");
    }
    for (const auto& [name, what] : before_)
      if (!after.contains(name)) wrong->push_back("gone: " + name);
    for (const std::string& file : FilesHoldingTheSecret(prefix_.str()))
      wrong->push_back("plain text in " + file);
    for (const auto& entry : fs::directory_iterator(prefix_.path())) {
      const std::string name = entry.path().filename().string();
      if (name.find(".journal") != std::string::npos || name.ends_with(".locks") ||
          name.ends_with(".tmp"))
        wrong->push_back("journal directory holds " + name);
    }
    const std::string ini = ReadAll(IniPath());
    if (ini != ini_) wrong->push_back("Citect.ini is now: " + ini);
  }

 private:
  veilbox::testing::ScratchDir prefix_;
  veilbox::testing::ScratchDir outside_;  // expected plain texts, the record, the boxes
  std::vector<fs::path> plain_;
  std::map<std::string, std::string> before_;
  std::string ini_;
};

constexpr std::chrono::seconds kLimit(60);

std::vector<std::string> Strace(const Point& p) {
  const std::string action = p.what == "kill" ? "signal=KILL" : "error=" + p.what;
  return {"strace",
          "-f",
          "-b",
          "execve",
          "-qq",
          "-o",
          "/dev/null",
          "-e",
          "trace=" + p.call,
          "-e",
          "inject=" + p.call + ":" + action + ":when=" + std::to_string(p.k),
          "--"};
}

// The layout of one installation: Main (A, B, C) including Lib (D, E),
// someone's own file at B's plain name.
std::unique_ptr<Site> MainSite() {
  auto site = std::make_unique<Site>("Main", std::vector<std::string>{"A", "B", "C"});
  site->PutOwnFileAt("B");
  site->TakeSnapshot();
  return site;
}

// One point on one installation: the faulted run, a normal run, the checks.
std::vector<std::string> RunPoint(const Point& p) {
  const auto x = MainSite();
  std::vector<std::string> wrong;
  x->CheckEnd("the faulted run", Finish(x->Start("Main", Strace(p)), kLimit), false, &wrong);
  x->CheckEnd("the next run", Finish(x->Start("Main", {}), kLimit), true, &wrong);
  x->CheckAfter(&wrong);
  return wrong;
}

// One point on two installations sharing Lib: X killed (or failing) at the
// point, then Y's run and X's next run at once.
std::vector<std::string> RunSharedPoint(const Point& p) {
  const auto x = MainSite();
  Site y("Other", {"O"}, x.get());
  y.TakeSnapshot();
  std::vector<std::string> wrong;
  x->CheckEnd("X's faulted run", Finish(x->Start("Main", Strace(p)), kLimit), false, &wrong);
  const pid_t y_run = y.Start("Other", {});
  const pid_t x_run = x->Start("Main", {});
  y.CheckEnd("Y's run", Finish(y_run, kLimit), true, &wrong);
  x->CheckEnd("X's next run", Finish(x_run, kLimit), true, &wrong);
  x->CheckAfter(&wrong);
  y.CheckAfter(&wrong);
  return wrong;
}

// A run killed while its compiler runs, then the next run faulted at the
// point while it recovers, then a normal run.
std::vector<std::string> RunRecoveryPoint(const Point& p) {
  const auto x = MainSite();
  std::vector<std::string> wrong;
  x->KillNextRunWhileCompiling();
  Finish(x->Start("Main", {}), kLimit);
  x->CheckEnd("the faulted recovering run", Finish(x->Start("Main", Strace(p)), kLimit), false,
              &wrong);
  x->CheckEnd("the next run", Finish(x->Start("Main", {}), kLimit), true, &wrong);
  x->CheckAfter(&wrong);
  return wrong;
}

// What a normal run does: how many times it makes each call, in the
// thread that makes it most (strace counts per thread), and the trace,
// one call a line.
struct Reached {
  std::map<std::string, int> counts;
  std::string trace;
};

// A normal run's calls; after a run killed while compiling when
// `recovering`.
Reached CallsReached(bool recovering) {
  const auto site = MainSite();
  if (recovering) {
    site->KillNextRunWhileCompiling();
    Finish(site->Start("Main", {}), kLimit);
  }
  veilbox::testing::ScratchDir trace;
  std::vector<std::string> names;
  for (const CallFaults& c : Calls()) names.push_back(c.call);
  const std::string out = (trace.path() / "trace").string();
  const int code =
      Finish(site->Start("Main", {"strace", "-f", "-b", "execve", "-qq", "-s", "4096", "-o", out,
                                  "-e", "trace=" + Join(names, ","), "--"}),
             kLimit);
  EXPECT_EQ(code, 0) << site->Boxes();
  Reached result;
  result.trace = ReadAll(out);
  std::map<std::pair<std::string, std::string>, int> per_thread;
  std::istringstream lines(result.trace);
  for (std::string line; std::getline(lines, line);) {
    // "PID  call(...": the id is padded with blanks.
    const std::size_t blank = line.find(' ');
    const std::size_t name = line.find_first_not_of(' ', blank);
    const std::size_t paren = line.find('(', name);
    if (blank == std::string::npos || name == std::string::npos || paren == std::string::npos ||
        line[name] == '<')  // "<... call resumed>": counted where it began
      continue;
    ++per_thread[{line.substr(0, blank), line.substr(name, paren - name)}];
  }
  std::map<std::string, int>& reached = result.counts;
  for (const auto& [key, count] : per_thread)
    reached[key.second] = std::max(reached[key.second], count);
  std::cout << (recovering ? "Calls of a recovering run:" : "Calls of a run:");
  for (const auto& [call, count] : reached) std::cout << " " << call << " " << count;
  std::cout << "\n";
  return result;
}

// A spot the sample always hits: each K at which a normal run makes `call`
// on a name that holds `match`, in the thread that makes it, failed with
// `what`.
struct Aim {
  const char* call;
  const char* match;
  const char* what;
};

// The points of the aims, found in a normal run's trace; none when
// VEILBOX_CRASH_POINTS chooses the points.
std::vector<Point> Aimed(const std::string& trace, const std::vector<Aim>& aims) {
  const char* env = std::getenv("VEILBOX_CRASH_POINTS");
  if (env && *env) return {};
  std::vector<Point> points;
  std::set<std::tuple<std::string, int, std::string>> seen;
  std::map<std::pair<std::string, std::string>, int> per_thread;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t blank = line.find(' ');
    const std::size_t name = line.find_first_not_of(' ', blank);
    const std::size_t paren = line.find('(', name);
    if (blank == std::string::npos || name == std::string::npos || paren == std::string::npos ||
        line[name] == '<')
      continue;
    const std::string call = line.substr(name, paren - name);
    const int k = ++per_thread[{line.substr(0, blank), call}];
    for (const Aim& aim : aims)
      if (call == aim.call && line.find(aim.match, paren) != std::string::npos &&
          seen.insert({call, k, aim.what}).second)
        points.push_back({call, k, aim.what});
  }
  return points;
}

// Where a look or a name that fails must not be taken for "nothing there"
// or "not ours": the identity of a plain files' directory (and the include
// walk's), the include table, the stored attributes of the entry at a
// plain file's name, a journal and its creation.
const std::vector<Aim> kRunAims = {
    {"newfstatat", "/Proj/Main/\"", "EACCES"},
    {"newfstatat", "/Proj/Lib/\"", "EIO"},
    {"newfstatat", "Include.dbf\"", "EIO"},
    {"getxattr", "/B.CI\"", "EIO"},
    {"renameat2", ".journal\"", "EIO"},
};
const std::vector<Aim> kRecoveryAims = {
    {"newfstatat", "/Proj/Lib/\"", "EACCES"},
    {"newfstatat", ".journal\"", "EIO"},
    {"getxattr", "/B.CI\"", "EIO"},
    {"getxattr", "/D.CI\"", "EIO"},
    {"openat", "~Veilbox.lock\"", "EACCES"},
};

std::vector<Point> With(std::vector<Point> points, const std::vector<Point>& more) {
  points.insert(points.end(), more.begin(), more.end());
  return points;
}

enum class Kind { kKills, kErrors };

// The points of one kind: from VEILBOX_CRASH_POINTS when it lists them,
// else every point ("all"), or the test command's sample: every point of
// the `whole` calls, and `others` more drawn from the rest with a fixed
// seed, so that the sample is the same every time.
std::vector<Point> Points(Kind kind, const std::map<std::string, int>& reached,
                          const std::set<std::string>& whole, std::size_t others) {
  const char* env = std::getenv("VEILBOX_CRASH_POINTS");
  const std::string chosen = env ? env : "";
  std::vector<Point> points;
  if (!chosen.empty() && chosen != "all") {
    std::istringstream list(chosen);
    for (std::string item; std::getline(list, item, ',');) {
      Point p;
      std::istringstream parts(item);
      std::string k;
      std::getline(parts, p.call, ':');
      std::getline(parts, k, ':');
      std::getline(parts, p.what, ':');
      p.k = std::atoi(k.c_str());
      if ((p.what == "kill") == (kind == Kind::kKills)) points.push_back(p);
    }
    return points;
  }
  // The rest by call and fault; the sample takes one of each in turn, so
  // that a call made often does not crowd out one made rarely.
  std::vector<std::vector<Point>> rest;
  for (const CallFaults& c : Calls()) {
    const auto it = reached.find(c.call);
    if (it == reached.end() || (kind == Kind::kKills && !c.killed)) continue;
    std::vector<std::string> whats = {"kill"};
    if (kind == Kind::kErrors) whats.assign(c.errors.begin(), c.errors.end());
    for (const std::string& what : whats) {
      if (!whole.contains(c.call)) rest.emplace_back();
      for (int k = 1; k <= it->second; ++k)
        (whole.contains(c.call) ? points : rest.back()).push_back({c.call, k, what});
    }
  }
  std::mt19937 random(20261211);
  for (auto& group : rest) std::shuffle(group.begin(), group.end(), random);
  std::size_t taken = 0;
  for (std::size_t round = 0; taken < others || chosen == "all"; ++round) {
    bool any = false;
    for (const auto& group : rest) {
      if (round >= group.size() || (taken >= others && chosen != "all")) continue;
      points.push_back(group[round]);
      ++taken;
      any = true;
    }
    if (!any) break;
  }
  return points;
}

// Where the safety net itself acts: every kill there, even in the sample.
const std::set<std::string> kSafetyNetCalls = {"rename",    "renameat", "renameat2", "unlink",
                                               "unlinkat",  "fchmod",   "fsetxattr", "setxattr",
                                               "ftruncate", "fsync",    "mkdir",     "write"};

class CrashPoints : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
    // A compiler orphaned by a kill comes to this process, which reaps it.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    if (reached_.counts.empty()) reached_ = CallsReached(false);
    ASSERT_FALSE(reached_.counts.empty());
  }

  static const Reached& ReachedRecovering() {
    static const Reached reached = CallsReached(true);
    return reached;
  }

  void RunAll(const std::vector<Point>& points, std::vector<std::string> (*run)(const Point&)) {
    const auto start = Clock::now();
    int failed = 0;
    for (const Point& p : points) {
      const std::vector<std::string> wrong = run(p);
      if (wrong.empty()) continue;
      ++failed;
      ADD_FAILURE() << Describe(p) << ": " << Join(wrong, "; ");
    }
    const auto seconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count() /
        1000.0;
    std::cout << points.size() << " points, " << failed << " failed, " << seconds << " s\n";
  }

  static Reached reached_;
};

Reached CrashPoints::reached_;

TEST_F(CrashPoints, KilledAtEachCall) {
  RunAll(Points(Kind::kKills, reached_.counts, kSafetyNetCalls, 30), RunPoint);
}

TEST_F(CrashPoints, FailingAtEachCall) {
  RunAll(With(Points(Kind::kErrors, reached_.counts, {}, 60), Aimed(reached_.trace, kRunAims)),
         RunPoint);
}

TEST_F(CrashPoints, RecoveryFailingAtEachCall) {
  const Reached& reached = ReachedRecovering();
  RunAll(With(Points(Kind::kErrors, reached.counts, {}, 50), Aimed(reached.trace, kRecoveryAims)),
         RunRecoveryPoint);
}

TEST_F(CrashPoints, RecoveryKilledAtEachCall) {
  RunAll(Points(Kind::kKills, ReachedRecovering().counts, {"rename", "renameat2", "unlink"}, 25),
         RunRecoveryPoint);
}

TEST_F(CrashPoints, TwoInstallationsOneKilledAtEachCall) {
  RunAll(Points(Kind::kKills, reached_.counts, {"renameat2"}, 35), RunSharedPoint);
}

}  // namespace
}  // namespace veilbox::e2e
