#include <windows.h>

#include <exception>
#include <memory>
#include <optional>

#include "platform/escaped_exception.h"
#include "platform/interrupts.h"
#include "platform/window.h"

namespace veilbox::platform {
namespace {

constexpr char kClassName[] = "TFrmMain";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_MINIMIZEBOX | WS_MAXIMIZEBOX |
                         WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW;
constexpr int kClientWidth = 194;
constexpr int kClientHeight = 40;
constexpr int kDesignLeft = 678;
constexpr int kDesignTop = 578;
// The panel fills the client area from one pixel above it; its contents
// are placed relative to it.
constexpr int kPanelLeft = 0;
constexpr int kPanelTop = -1;
constexpr int kPanelWidth = 194;
constexpr int kPanelHeight = 41;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

void RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXA wc = {};
  if (GetClassInfoExA(instance, kClassName, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, "VEILBOX_ICON");
  wc.hIconSm = wc.hIcon;
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterClassExA(&wc);
}

// Draws the image stretched into the box, leaving out the pixels of its
// transparent colour (the colour of its bottom-left pixel).
void DrawTransparentImage(HDC dc, HBITMAP image, const RECT& box) {
  BITMAP info;
  if (!image || !GetObjectA(image, sizeof info, &info)) return;
  HDC image_dc = CreateCompatibleDC(dc);
  HGDIOBJ old_image = SelectObject(image_dc, image);
  const COLORREF transparent = GetPixel(image_dc, 0, info.bmHeight - 1);

  HDC mask_dc = CreateCompatibleDC(dc);
  HBITMAP mask = CreateBitmap(info.bmWidth, info.bmHeight, 1, 1, nullptr);
  HGDIOBJ old_mask = SelectObject(mask_dc, mask);
  SetBkColor(image_dc, transparent);
  BitBlt(mask_dc, 0, 0, info.bmWidth, info.bmHeight, image_dc, 0, 0, SRCCOPY);

  const int w = box.right - box.left;
  const int h = box.bottom - box.top;
  SetStretchBltMode(dc, COLORONCOLOR);
  const COLORREF old_bk = SetBkColor(dc, RGB(255, 255, 255));
  const COLORREF old_text = SetTextColor(dc, RGB(0, 0, 0));
  // Background where the image is, image bits XOR'ed in where it is not.
  StretchBlt(dc, box.left, box.top, w, h, image_dc, 0, 0, info.bmWidth, info.bmHeight, SRCINVERT);
  StretchBlt(dc, box.left, box.top, w, h, mask_dc, 0, 0, info.bmWidth, info.bmHeight, SRCAND);
  StretchBlt(dc, box.left, box.top, w, h, image_dc, 0, 0, info.bmWidth, info.bmHeight, SRCINVERT);
  SetBkColor(dc, old_bk);
  SetTextColor(dc, old_text);

  SelectObject(mask_dc, old_mask);
  DeleteObject(mask);
  DeleteDC(mask_dc);
  SelectObject(image_dc, old_image);
  DeleteDC(image_dc);
}

void DrawLabel(HDC dc, HFONT font, COLORREF colour, int left, int top, int width, int height) {
  RECT box = {kPanelLeft + left, kPanelTop + top, kPanelLeft + left + width,
              kPanelTop + top + height};
  HGDIOBJ old_font = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, colour);
  DrawTextA(dc, "Veilbox!", -1, &box, DT_LEFT | DT_EXPANDTABS | DT_NOPREFIX);
  SelectObject(dc, old_font);
}

}  // namespace

struct MainWindow::Impl {
  MainWindowEvents* events = nullptr;
  HWND hwnd = nullptr;
  HFONT font = nullptr;
  HBITMAP image = nullptr;
  int pending_state = kStateNormal;
  bool shown = false;         // Show() ran and no HideAndRepaint() since
  bool start_posted = false;  // the window belongs to the run
  bool started = false;       // the start message has been dispatched
  bool close_requested = false;
  std::optional<int> exit_code;  // the run's, once it has ended

  void Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT panel = {kPanelLeft, kPanelTop, kPanelLeft + kPanelWidth, kPanelTop + kPanelHeight};
    FillRect(dc, &panel, GetSysColorBrush(COLOR_BTNFACE));
    // Outer bevel lowered, inner bevel raised.
    DrawEdge(dc, &panel, BDR_SUNKENOUTER | BDR_RAISEDINNER, BF_RECT);
    RECT line = {kPanelLeft + 2, kPanelTop + 32, kPanelLeft + 2 + 55, kPanelTop + 33};
    FillRect(dc, &line, GetSysColorBrush(COLOR_BTNFACE));
    RECT image_box = {kPanelLeft + 153, kPanelTop + 3, kPanelLeft + 153 + 27, kPanelTop + 3 + 36};
    DrawTransparentImage(dc, image, image_box);
    // The black text is drawn first, 2 pixels right and 3 below the red.
    DrawLabel(dc, font, RGB(0, 0, 0), 48, 4, 109, 38);
    DrawLabel(dc, font, RGB(255, 0, 0), 46, 1, 112, 38);
    EndPaint(hwnd, &ps);
  }

  template <typename F>
  void Guarded(F&& handler) {
    try {
      handler();
    } catch (...) {
      std::exception_ptr& escaped = internal::EscapedException();
      if (!escaped) escaped = std::current_exception();
    }
  }
};

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* impl = reinterpret_cast<MainWindow::Impl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (!impl) return DefWindowProcA(hwnd, message, wparam, lparam);
  switch (message) {
    case WM_PAINT:
      impl->Paint();
      return 0;
    case kWmStartCompile:
      // Another program can send the message too: only the first starts
      // the run, and none starts one inside it.
      if (!impl->started) {
        impl->started = true;
        impl->Guarded([impl] { impl->exit_code = impl->events->OnStartCompile(); });
      }
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      // The process may be ended as soon as this returns: the run cleans
      // up here and now.
      if (wparam) RunEmergencyCleanup();
      return 0;
    case WM_CLOSE:
      impl->close_requested = true;
      if (impl->start_posted) {
        // The window belongs to the run, and a close request never
        // changes a run's outcome: the form saves its placement while it
        // is still shown, and the run goes on to the compiler's exit code.
        if (IsWindowVisible(hwnd)) impl->Guarded([impl] { impl->events->OnClose(); });
        return 0;
      }
      impl->Guarded([impl] { impl->events->OnClose(); });
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      impl->hwnd = nullptr;
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

}  // namespace

MainWindow::MainWindow(const std::string& caption, MainWindowEvents* events)
    : impl_(std::make_shared<Impl>()) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterWindowClass(instance);
  impl_->events = events;
  impl_->font = CreateFontA(-27, 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, ANSI_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH | FF_DONTCARE, "Comic Sans MS");
  impl_->image = static_cast<HBITMAP>(
      LoadImageA(instance, "VEILBOX_IMAGE", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  RECT frame = {0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  impl_->hwnd = CreateWindowExA(kExStyle, kClassName, caption.c_str(), kStyle, kDesignLeft,
                                kDesignTop, frame.right - frame.left, frame.bottom - frame.top,
                                nullptr, nullptr, instance, impl_.get());
}

MainWindow::~MainWindow() {
  if (impl_->hwnd) {
    SetWindowLongPtrA(impl_->hwnd, GWLP_USERDATA, 0);
    DestroyWindow(impl_->hwnd);
  }
  if (impl_->font) DeleteObject(impl_->font);
  if (impl_->image) DeleteObject(impl_->image);
}

void MainWindow::Show() {
  if (!impl_->hwnd || impl_->shown) return;
  impl_->shown = true;
  const int show = impl_->pending_state == kStateMaximized   ? SW_SHOWMAXIMIZED
                   : impl_->pending_state == kStateMinimized ? SW_SHOWMINIMIZED
                                                             : SW_SHOWNORMAL;
  // The first show of a program's window may be replaced by the
  // launcher's show command (SW_HIDE among them), so the show event comes
  // from here, not from WM_SHOWWINDOW.
  ShowWindow(impl_->hwnd, show);
  UpdateWindow(impl_->hwnd);
  impl_->events->OnShow();
}

void MainWindow::HideAndRepaint() {
  if (!impl_->hwnd) return;
  impl_->shown = false;
  ShowWindow(impl_->hwnd, SW_HIDE);
  UpdateWindow(impl_->hwnd);
}

bool MainWindow::Visible() const { return impl_->hwnd && IsWindowVisible(impl_->hwnd); }

void MainWindow::PostStartCompile() {
  if (!impl_->hwnd || impl_->start_posted) return;
  impl_->start_posted = PostMessageA(impl_->hwnd, kWmStartCompile, 0, 0) != 0;
}

bool MainWindow::CloseRequested() const { return impl_->close_requested; }

std::optional<int> MainWindow::RunMessageLoop() {
  MSG msg;
  while (!impl_->exit_code) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    internal::RethrowEscapedException();
  }
  return impl_->exit_code;
}

namespace {

RECT WindowRect(HWND hwnd) {
  RECT rect = {};
  if (hwnd) GetWindowRect(hwnd, &rect);
  return rect;
}

void MoveTo(HWND hwnd, int left, int top, int width, int height) {
  if (hwnd) SetWindowPos(hwnd, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

int MainWindow::Left() const { return WindowRect(impl_->hwnd).left; }
int MainWindow::Top() const { return WindowRect(impl_->hwnd).top; }
int MainWindow::Width() const {
  const RECT r = WindowRect(impl_->hwnd);
  return r.right - r.left;
}
int MainWindow::Height() const {
  const RECT r = WindowRect(impl_->hwnd);
  return r.bottom - r.top;
}
void MainWindow::SetLeft(int left) { MoveTo(impl_->hwnd, left, Top(), Width(), Height()); }
void MainWindow::SetTop(int top) { MoveTo(impl_->hwnd, Left(), top, Width(), Height()); }
void MainWindow::SetWidth(int width) { MoveTo(impl_->hwnd, Left(), Top(), width, Height()); }
void MainWindow::SetHeight(int height) { MoveTo(impl_->hwnd, Left(), Top(), Width(), height); }

int MainWindow::State() const {
  if (!Visible()) return impl_->pending_state;
  if (IsIconic(impl_->hwnd)) return kStateMinimized;
  if (IsZoomed(impl_->hwnd)) return kStateMaximized;
  return kStateNormal;
}

void MainWindow::SetState(int state) {
  impl_->pending_state = state;
  if (!Visible()) return;
  ShowWindow(impl_->hwnd, state == kStateMaximized   ? SW_MAXIMIZE
                          : state == kStateMinimized ? SW_MINIMIZE
                                                     : SW_RESTORE);
}

}  // namespace veilbox::platform
