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
#include <optional>
#include <string>

namespace veilbox::platform {

// WM_USER + 1: starts the compile run.
inline constexpr unsigned kWmStartCompile = 0x0400 + 1;

// Window states, numbered as the stored placement numbers them.
inline constexpr int kStateNormal = 0;
inline constexpr int kStateMinimized = 1;
inline constexpr int kStateMaximized = 2;

// What the window reports to its owner. Called on the window's thread.
class MainWindowEvents {
 public:
  // The form's show event: called by Show() itself, whatever state the
  // system then gives the window. (On Windows the launcher's STARTUPINFO
  // show command replaces the first show of a program's window and may
  // hide or minimize it; no WM_SHOWWINDOW need come at all.)
  virtual void OnShow() = 0;
  // The first kWmStartCompile has been dispatched: runs the compile and
  // gives its exit code, with which the message loop then ends. The run
  // dispatches window messages while it waits (for the compiler, for a
  // lock), so the window's handlers run inside this call; a further
  // kWmStartCompile then starts nothing.
  virtual int OnStartCompile() = 0;
  // A close request for the visible window (the window manager's).
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

  // Shows the window in its current state and calls OnShow, once for
  // each Show() of a window that is not shown.
  void Show();
  // Hides the window and repaints what lay under it.
  void HideAndRepaint();
  bool Visible() const;
  // Posts kWmStartCompile, both parameters 0, to the window: once in the
  // window's life, later calls post nothing. Only the first start message
  // that arrives reaches OnStartCompile; a repeat (only another program can
  // send one) is dropped, so a run never starts inside the run.
  //
  // From this post on the window belongs to the run: a close request
  // never closes it. OnClose runs when the window is visible (the form
  // saves its placement), the request is noted (CloseRequested()) and the
  // run goes on. Before the post a close request runs OnClose and closes
  // the window, which ends the message loop.
  void PostStartCompile();
  // True once a close request has arrived.
  bool CloseRequested() const;

  // Dispatches messages until the run has given its exit code, or until
  // the window has been closed (in the stand-in, until nothing is left to
  // dispatch), and returns the run's exit code; nullopt when the loop
  // ended without a run. An exception that escapes a handler ends the
  // loop and comes out of this call.
  std::optional<int> RunMessageLoop();

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
