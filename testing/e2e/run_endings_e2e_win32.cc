// Runs that do not end the normal way, against veilbox.exe under Wine: the
// run terminated outright during the compile and the run after it, two
// runs started together on projects that share an include, a compiler
// that crashes, a close request while the window is shown and during the
// compile, and the end of the session. After each, no plain file is left,
// the tree of projects and tables is as it was, COMPILEOKMESSAGE is "1"
// again and no run journal remains.
#include <gtest/gtest.h>
#include <windows.h>
// needs the declarations of windows.h
#include <tlhelp32.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/profile.h"
#include "protect/protected_file.h"
#include "protect/text_list.h"
#include "sysutil/text_utils.h"
#include "testing/dbf_writer.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/e2e/e2e_scenario.h"
#include "testing/record_text.h"
#include "testing/test_support.h"

namespace veilbox::e2e {
namespace {

std::string Plain(const std::string& name) { return Proj(name) + "\\" + UpperAscii(name) + ".CI"; }
std::string See(const std::string& name) { return "-see=" + Plain(name); }

// Every file of the projects and tables with its bytes.
std::map<std::string, std::string> Tree() {
  std::map<std::string, std::string> files;
  for (const char* dir : {"\\Proj", "\\Citect\\User"}) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(kRoot + dir)) {
      if (entry.is_regular_file()) {
        files[entry.path().string()] = veilbox::testing::ReadFileBytes(entry.path());
      }
    }
  }
  return files;
}

bool PlainFileExists() {
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kRoot + "\\Proj")) {
    const std::string name = UpperAscii(entry.path().filename().string());
    if (name.size() > 3 && name.substr(name.size() - 3) == ".CI") return true;
  }
  return false;
}

std::string JournalDir() {
  const char* base = std::getenv("LOCALAPPDATA");
  return base ? std::string(base) + "\\Veilbox" : "";
}

std::string Quoted(const std::string& text) {
  std::string quoted(1, '"');
  return quoted.append(text).append(1, '"');
}

// One Veilbox started through the box watcher, which answers its message
// boxes and records them with the exit code.
class StartedRun {
 public:
  StartedRun(const std::string& tag, const std::vector<std::string>& args) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "veilbox-e2e";
    std::filesystem::create_directories(dir);
    record_ = (dir / ("endings-" + tag + ".txt")).string();
    const std::string command_file = (dir / ("endings-" + tag + ".cmd")).string();
    // Appended, not "\"" + ...: GCC 12 warns wrongly on that.
    std::string command = Quoted(VeilboxPath());
    for (const std::string& arg : args) command.append(" ").append(arg);
    Write(command_file, command);
    std::filesystem::remove(record_);
    std::string line = Quoted(veilbox::testing::HelperPath("box-watcher"));
    line.append(" ").append(Quoted(record_)).append(" ").append(Quoted(command_file));
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &si, &pi_)) {
      ADD_FAILURE() << "cannot start the box watcher: " << GetLastError();
    }
  }
  ~StartedRun() {
    if (pi_.hProcess) {
      WaitForSingleObject(pi_.hProcess, 150000);
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
    }
  }
  StartedRun(const StartedRun&) = delete;
  StartedRun& operator=(const StartedRun&) = delete;

  // Waits for the run's end: its exit code ("timeout" counts as -1) and
  // its boxes as "caption: text".
  int Wait(std::vector<std::string>* boxes = nullptr) {
    if (!pi_.hProcess) return -1;
    WaitForSingleObject(pi_.hProcess, 150000);
    std::stringstream text;
    text << std::ifstream(record_, std::ios::binary).rdbuf();
    int code = -1;
    std::string caption;
    for (const auto& [key, value] : veilbox::testing::ParseRecords(text.str())) {
      if (key == "exit") code = static_cast<int>(std::stoul(value));
      if (key == "box") caption = value;
      if (key == "text" && boxes) boxes->push_back(caption + ": " + value);
    }
    return code;
  }

 private:
  std::string record_;
  PROCESS_INFORMATION pi_ = {};
};

// The main windows of the Veilbox processes that run now.
struct Found {
  bool visible_only;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectMainWindow(HWND hwnd, LPARAM param) {
  auto* found = reinterpret_cast<Found*>(param);
  char cls[64] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (std::string(cls) == "TFrmMain" && (!found->visible_only || IsWindowVisible(hwnd)))
    found->windows.push_back(hwnd);
  return TRUE;
}

// The main window of the one Veilbox that runs (the visible one, if asked
// for); null when there is none after a few seconds.
HWND AwaitMainWindow(bool visible) {
  for (int i = 0; i < 500; ++i) {
    Found found{visible, {}};
    EnumWindows(CollectMainWindow, reinterpret_cast<LPARAM>(&found));
    if (found.windows.size() == 1) return found.windows[0];
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return nullptr;
}

// The id of a process that the given one started, 0 when none runs.
DWORD ChildOf(DWORD parent) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  DWORD child = 0;
  for (BOOL more = Process32First(snapshot, &entry); more && !child;
       more = Process32Next(snapshot, &entry)) {
    if (entry.th32ParentProcessID == parent) child = entry.th32ProcessID;
  }
  CloseHandle(snapshot);
  return child;
}

void Terminate(DWORD pid, UINT code) {
  if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
    TerminateProcess(process, code);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
  }
}

void AwaitPlainFile() {
  for (int i = 0; i < 1000 && !PlainFileExists(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(PlainFileExists());
}

// Solo, Other and Shared; Solo and Other both include Shared. The
// compiler is the watching compiler.
class RunEndingsWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_ = StageSettings(machine_, Install{}) + "Citect.ini";
    LayOutSharedInclude();
    // A compiler orphaned by an earlier scenario may still run for a while.
    std::filesystem::create_directories(kBin);
    std::error_code ec;
    for (int i = 0; i < 100; ++i) {
      std::filesystem::copy_file(veilbox::testing::HelperPath("watching-compiler"),
                                 kBin + "\\ctcomp.exe",
                                 std::filesystem::copy_options::overwrite_existing, ec);
      if (!ec) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(ec) << ec.message();
    before_ = Tree();
  }

  std::string CompileOk() const {
    return platform::GetProfileValue("CTEDIT", "COMPILEOKMESSAGE", "(missing)", settings_);
  }

  // Waits until the run has decrypted and switched the compiler's message
  // off: the compiler is starting or runs.
  void AwaitCompile() {
    AwaitPlainFile();
    for (int i = 0; i < 1000 && CompileOk() != "0"; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(CompileOk(), "0");
  }

  void ExpectNoJournal() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(JournalDir(), ec)) {
      EXPECT_NE(entry.path().extension(), ".journal") << entry.path();
      EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
    }
  }

  void ExpectCleanedUp() {
    EXPECT_EQ(Tree(), before_);
    EXPECT_EQ(CompileOk(), "1");
    ExpectNoJournal();
  }

  Machine machine_{kRoot};
  std::string settings_;
  std::map<std::string, std::string> before_;
};

TEST_F(RunEndingsWin32, TerminatedDuringTheCompileThenTheNextRunRecovers) {
  DWORD compiler = 0;
  {
    StartedRun run("killed", {"-wait=3000", "Solo"});
    AwaitCompile();
    HWND window = AwaitMainWindow(false);
    ASSERT_NE(window, nullptr);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    compiler = ChildOf(pid);
    ASSERT_NE(compiler, 0u);
    Terminate(pid, 99);
    EXPECT_EQ(run.Wait(), 99);
  }
  EXPECT_TRUE(platform::FileExists(Plain("Solo")));
  EXPECT_TRUE(platform::FileExists(Plain("Shared")));
  EXPECT_EQ(CompileOk(), "0");

  StartedRun next("after", {"Other"});
  std::vector<std::string> boxes;
  EXPECT_EQ(next.Wait(&boxes), 0);
  EXPECT_EQ(boxes, std::vector<std::string>{kComplete});
  ExpectCleanedUp();
  // The orphaned stand-in compiler is ended by its id too.
  Terminate(compiler, 1);
}

// Runs take turns: each compiler sees every plain file of its project,
// the shared one included, from its start to its end.
TEST_F(RunEndingsWin32, RunsOfProjectsSharingAnIncludeStartedTogether) {
  StartedRun a("a", {"-wait=1500", See("Solo"), See("Shared"), "Solo"});
  StartedRun b("b", {"-wait=1500", See("Other"), See("Shared"), "Other"});
  std::vector<std::string> boxes_a, boxes_b;
  EXPECT_EQ(a.Wait(&boxes_a), 0);
  EXPECT_EQ(b.Wait(&boxes_b), 0);
  EXPECT_EQ(boxes_a, std::vector<std::string>{kComplete});
  EXPECT_EQ(boxes_b, std::vector<std::string>{kComplete});
  ExpectCleanedUp();
}

TEST_F(RunEndingsWin32, CompilerThatCrashes) {
  StartedRun run("crash", {"-crash", "Solo"});
  std::vector<std::string> boxes;
  EXPECT_EQ(static_cast<DWORD>(run.Wait(&boxes)), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  EXPECT_EQ(boxes, std::vector<std::string>{kComplete});
  ExpectCleanedUp();
}

// A close request during the compile is noted and changes nothing: the
// compiler runs to its end and its exit code is the run's.
TEST_F(RunEndingsWin32, CloseRequestDuringTheCompile) {
  StartedRun run("close", {"-wait=2000", "-exit=7", See("Solo"), "Solo"});
  AwaitCompile();
  HWND window = AwaitMainWindow(false);
  ASSERT_NE(window, nullptr);
  PostMessageA(window, WM_CLOSE, 0, 0);
  std::vector<std::string> boxes;
  EXPECT_EQ(run.Wait(&boxes), 7);
  EXPECT_EQ(boxes, std::vector<std::string>{kComplete});
  ExpectCleanedUp();
}

// While a run waits for the one before it, its window is still shown: a
// close request saves the window's placement and the run goes on.
TEST_F(RunEndingsWin32, CloseRequestWhileTheWindowIsShown) {
  StartedRun first("first", {"-wait=2500", "Solo"});
  AwaitCompile();
  StartedRun second("second", {"-exit=5", "Other"});
  HWND window = AwaitMainWindow(true);
  ASSERT_NE(window, nullptr);
  PostMessageA(window, WM_CLOSE, 0, 0);
  std::vector<std::string> boxes;
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_EQ(second.Wait(&boxes), 5);
  EXPECT_EQ(boxes, std::vector<std::string>{kComplete});
  HKEY forms = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Talvoren\\Veilbox\\Forms", 0, KEY_READ, &forms),
      ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(forms, "FrmMainLeft", nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(forms);
  ExpectCleanedUp();
}

// The end of the session cleans up at once: Windows may end the process
// as soon as the message has been handled, and here it does.
TEST_F(RunEndingsWin32, EndOfTheSession) {
  StartedRun run("session", {"-wait=3000", "Solo"});
  AwaitCompile();
  HWND window = AwaitMainWindow(false);
  ASSERT_NE(window, nullptr);
  DWORD_PTR answer = 0;
  EXPECT_NE(SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 10000, &answer), 0);
  EXPECT_NE(answer, 0u);
  EXPECT_NE(SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, 0, SMTO_BLOCK, 10000, &answer), 0);
  EXPECT_FALSE(PlainFileExists());
  EXPECT_EQ(CompileOk(), "1");
  ExpectNoJournal();
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  const DWORD compiler = ChildOf(pid);
  Terminate(pid, 1);
  Terminate(compiler, 1);
  run.Wait();
  ExpectCleanedUp();
}

}  // namespace
}  // namespace veilbox::e2e
