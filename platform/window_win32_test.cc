#include <gtest/gtest.h>
#include <windows.h>

#include "platform/interrupts.h"
#include "platform/window.h"

namespace veilbox::platform {
namespace {

class Quiet : public MainWindowEvents {
 public:
  void OnShow() override {}
  void OnStartCompile() override {}
  void OnClose() override { closed = true; }
  bool closed = false;
};

HWND FindMainWindow() { return FindWindowA("TFrmMain", "Veilbox - Code Protection"); }

TEST(MainWindowWin32, IsAToolWindowWithoutSystemMenu) {
  Quiet events;
  MainWindow window("Veilbox - Code Protection", &events);
  HWND hwnd = FindMainWindow();
  ASSERT_NE(hwnd, nullptr);
  const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  const LONG ex_style = GetWindowLongA(hwnd, GWL_EXSTYLE);
  EXPECT_TRUE(ex_style & WS_EX_TOOLWINDOW);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_FALSE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_TRUE(style & WS_MAXIMIZEBOX);
  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right - client.left, 194);
  EXPECT_EQ(client.bottom - client.top, 40);
}

TEST(MainWindowWin32, CloseRunsTheHandlerAndEndsTheLoop) {
  Quiet events;
  MainWindow window("Veilbox - Code Protection", &events);
  window.Show();
  PostMessageA(FindMainWindow(), WM_CLOSE, 0, 0);
  EXPECT_EQ(window.RunMessageLoop(), 0);
  EXPECT_TRUE(events.closed);
  EXPECT_EQ(FindMainWindow(), nullptr);
}

// During a run a close request does not close: it is recorded for the
// run's next checkpoint. The end of the session runs the run's clean-up
// there and then, once.
TEST(MainWindowWin32, DuringARunCloseAndSessionEndReachTheRun) {
  Quiet events;
  MainWindow window("Veilbox - Code Protection", &events);
  HWND hwnd = FindMainWindow();
  {
    InterruptCatcher catcher;
    SendMessageA(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(events.closed);
    EXPECT_EQ(FindMainWindow(), hwnd);
    EXPECT_EQ(PendingInterrupt(), kInterruptCloseRequest);
  }
  {
    InterruptCatcher catcher;
    int cleanups = 0;
    EmergencyCleanup cleanup([&] { ++cleanups; });
    EXPECT_NE(SendMessageA(hwnd, WM_QUERYENDSESSION, 0, 0), 0);
    EXPECT_EQ(cleanups, 0);
    SendMessageA(hwnd, WM_ENDSESSION, FALSE, 0);  // the end was called off
    EXPECT_EQ(cleanups, 0);
    SendMessageA(hwnd, WM_ENDSESSION, TRUE, 0);
    SendMessageA(hwnd, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(cleanups, 1);
    EXPECT_EQ(PendingInterrupt(), kInterruptSessionEnd);
  }
  EXPECT_FALSE(events.closed);
}

}  // namespace
}  // namespace veilbox::platform
