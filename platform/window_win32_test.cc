#include <gtest/gtest.h>
#include <windows.h>

#include "platform/interrupts.h"
#include "platform/message_loop.h"
#include "platform/window.h"

namespace veilbox::platform {
namespace {

class Quiet : public MainWindowEvents {
 public:
  void OnShow() override {}
  int OnStartCompile() override { return 0; }
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
  EXPECT_EQ(window.RunMessageLoop(), std::nullopt);  // no run
  EXPECT_TRUE(events.closed);
  EXPECT_EQ(FindMainWindow(), nullptr);
}

class Counting : public MainWindowEvents {
 public:
  void OnShow() override {}
  int OnStartCompile() override { return ++starts; }
  void OnClose() override { ++closes; }
  int starts = 0;
  int closes = 0;
};

// Once the start message is posted the window belongs to the run: a close
// request saves the placement while the window is shown and is noted, the
// window stays and no soft end is recorded, so the run's outcome stays
// the compiler's.
TEST(MainWindowWin32, AfterTheStartACloseRequestNeverClosesNorStopsTheRun) {
  Counting events;
  MainWindow window("Veilbox - Code Protection", &events);
  HWND hwnd = FindMainWindow();
  window.Show();
  window.PostStartCompile();
  InterruptCatcher catcher;
  EXPECT_FALSE(window.CloseRequested());
  SendMessageA(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(events.closes, 1);  // shown: the form saves its placement
  window.HideAndRepaint();
  SendMessageA(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(events.closes, 1);  // hidden: only noted
  EXPECT_TRUE(window.CloseRequested());
  EXPECT_EQ(FindMainWindow(), hwnd);
  EXPECT_EQ(PendingInterrupt(), 0);
  ProcessPendingMessages();
  EXPECT_EQ(events.starts, 1);
}

// A start message that another program sends, before or during the run,
// never starts a second one.
TEST(MainWindowWin32, AStartMessageFromOutsideStartsNoSecondRun) {
  Counting events;
  MainWindow window("Veilbox - Code Protection", &events);
  HWND hwnd = FindMainWindow();
  window.Show();
  window.PostStartCompile();
  SendMessageA(hwnd, kWmStartCompile, 0, 0);
  PostMessageA(hwnd, kWmStartCompile, 0, 0);
  ProcessPendingMessages();
  SendMessageA(hwnd, kWmStartCompile, 0, 0);
  EXPECT_EQ(events.starts, 1);
}

// The end of the session runs the run's clean-up there and then, once.
TEST(MainWindowWin32, SessionEndRunsTheCleanupOnce) {
  Quiet events;
  MainWindow window("Veilbox - Code Protection", &events);
  HWND hwnd = FindMainWindow();
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
  EXPECT_FALSE(events.closed);
}

}  // namespace
}  // namespace veilbox::platform
