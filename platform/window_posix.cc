#include <memory>
#include <optional>

#include "platform/window.h"
#include "standin/message_queue.h"

namespace veilbox::platform {

// The stand-in's window: its caption, frame and state, on no screen. Its
// outer size is what a 194 x 40 client area with a tool window's frame
// and small caption measures on Windows.
struct MainWindow::Impl {
  MainWindowEvents* events;
  std::string caption;
  int left = 678;
  int top = 578;
  int width = 200;
  int height = 65;
  int state = kStateNormal;
  bool visible = false;
  bool start_posted = false;
  bool started = false;
  std::optional<int> exit_code;  // the run's, once it has ended
};

MainWindow::MainWindow(const std::string& caption, MainWindowEvents* events)
    : impl_(std::make_shared<Impl>()) {
  impl_->events = events;
  impl_->caption = caption;
}

MainWindow::~MainWindow() = default;

void MainWindow::Show() {
  if (impl_->visible) return;
  impl_->visible = true;
  impl_->events->OnShow();
}

void MainWindow::HideAndRepaint() { impl_->visible = false; }

bool MainWindow::Visible() const { return impl_->visible; }

void MainWindow::PostStartCompile() {
  if (impl_->start_posted) return;
  impl_->start_posted = true;
  // A message for a window that is gone by then is dropped.
  std::weak_ptr<Impl> target = impl_;
  standin::PostQueuedMessage([target] {
    std::shared_ptr<Impl> window = target.lock();
    if (!window || window->started) return;
    window->started = true;
    window->exit_code = window->events->OnStartCompile();
  });
}

// Nothing outside the program reaches the stand-in's window.
bool MainWindow::CloseRequested() const { return false; }

std::optional<int> MainWindow::RunMessageLoop() {
  // Nothing outside the program posts to the stand-in's queue: once it is
  // empty, nothing can arrive any more and the loop ends.
  while (!impl_->exit_code && standin::DispatchQueuedMessage()) {
  }
  return impl_->exit_code;
}

int MainWindow::Left() const { return impl_->left; }
int MainWindow::Top() const { return impl_->top; }
int MainWindow::Width() const { return impl_->width; }
int MainWindow::Height() const { return impl_->height; }
void MainWindow::SetLeft(int left) { impl_->left = left; }
void MainWindow::SetTop(int top) { impl_->top = top; }
void MainWindow::SetWidth(int width) { impl_->width = width; }
void MainWindow::SetHeight(int height) { impl_->height = height; }
int MainWindow::State() const { return impl_->state; }
void MainWindow::SetState(int state) { impl_->state = state; }

}  // namespace veilbox::platform
