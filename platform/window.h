// The program's one main window, behind the platform seam. On Windows a
// real tool window: small caption, minimize and maximize boxes and no
// system menu (hence no close box), a client area of 194 x 40 holding a
// bevelled panel, the red "Veilbox!" over its black drop shadow and the
// stretched image from the program's resources (icon "VEILBOX_ICON",
// bitmap "VEILBOX_IMAGE"). The POSIX stand-in puts nothing on a screen but
// goes through the same sequence: create, show, post, dispatch, over a
// message queue of its own that ProcessPendingMessages also drains.
#pragma once

#include <memory>
#include <string>

namespace veilbox::platform {

// WM_USER + 1: starts the compile run.
inline constexpr unsigned kWmStartCompile = 0x0400 + 1;

// Window states, numbered as the stored placement numbers them.
inline constexpr int kStateNormal = 0;
inline constexpr int kStateMinimized = 1;
inline constexpr int kStateMaximized = 2;

// What the window reports to its owner. Called on the window's thread
// from the message dispatch.
class MainWindowEvents {
 public:
  // The window has become visible (each time it does).
  virtual void OnShow() = 0;
  // kWmStartCompile has been dispatched.
  virtual void OnStartCompile() = 0;
  // The window is being closed by the window manager.
  virtual void OnClose() = 0;

 protected:
  ~MainWindowEvents() = default;
};

class MainWindow {
 public:
  // Creates the window, not yet visible, at its design position.
  MainWindow(const std::string& caption, MainWindowEvents* events);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Shows the window in its current state.
  void Show();
  // Hides the window and repaints what lay under it.
  void HideAndRepaint();
  bool Visible() const;
  // Posts kWmStartCompile, both parameters 0, to the window.
  void PostStartCompile();

  // Dispatches messages until the window has been closed (or, in the
  // stand-in, until nothing is left to dispatch) and returns the exit code
  // the loop ended with. An exception that escapes a handler ends the
  // loop and comes out of this call.
  int RunMessageLoop();

  // Outer position and size in pixels, relative to the screen.
  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  void SetLeft(int left);
  void SetTop(int top);
  void SetWidth(int width);
  void SetHeight(int height);
  // kStateNormal, kStateMinimized or kStateMaximized. A state set while
  // the window is hidden takes effect when it is shown.
  int State() const;
  void SetState(int state);

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace veilbox::platform
