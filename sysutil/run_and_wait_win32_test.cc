// Exit codes and command lines that only Windows can carry.
#include <windows.h>
//
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "sysutil/globals.h"
#include "sysutil/run_and_wait.h"
#include "testing/test_support.h"
#include "text/command_line_split.h"

namespace veilbox {
namespace {

using text::JoinCommandLine;
using veilbox::testing::HelperPath;

int app_messages = 0;
int timer_messages = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_APP) ++app_messages;
  if (message == WM_TIMER) ++timer_messages;
  return DefWindowProcA(window, message, w, l);
}

std::uint64_t ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) {
    return ((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 10000;
  };
  return ms(kernel) + ms(user);
}

TEST(RunAndWaitWin32, ServesMessagesWhileWaitingWithoutBusyWaiting) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "VeilboxWaitTest";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  app_messages = timer_messages = 0;
  PostMessageA(window, WM_APP, 0, 0);
  SetTimer(window, 1, 20, nullptr);

  const auto start = std::chrono::steady_clock::now();
  const std::uint64_t cpu_before = ProcessCpuMs();
  EXPECT_EQ(RunAndWait("", JoinCommandLine({HelperPath("sleep-ms"), "600"}), ""), 0);
  const std::uint64_t cpu_ms = ProcessCpuMs() - cpu_before;
  const auto wall_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start)
                           .count();
  KillTimer(window, 1);
  DestroyWindow(window);

  EXPECT_EQ(app_messages, 1);
  EXPECT_GE(timer_messages, 3);  // the timer fired while the child slept
  EXPECT_GE(wall_ms, 500);
  EXPECT_LT(cpu_ms, static_cast<std::uint64_t>(wall_ms) / 8) << "busy waiting";
}

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
