#include "platform/window.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/message_loop.h"

namespace veilbox::platform {
namespace {

// Records the events and, like the program's window, posts the start
// message when shown; the start handler ends the loop by raising.
class Recorder : public MainWindowEvents {
 public:
  void OnShow() override {
    events.push_back("show");
    if (window) window->PostStartCompile();
  }
  void OnStartCompile() override {
    events.push_back("start");
    throw std::runtime_error("run ended");
  }
  void OnClose() override { events.push_back("close"); }

  MainWindow* window = nullptr;
  std::vector<std::string> events;
};

TEST(MainWindow, ShowPostsAndTheLoopDispatchesTheStart) {
  Recorder recorder;
  MainWindow window("Veilbox - Code Protection", &recorder);
  recorder.window = &window;
  EXPECT_FALSE(window.Visible());
  window.Show();
  EXPECT_TRUE(window.Visible());
  EXPECT_EQ(recorder.events, std::vector<std::string>{"show"});
  // What escapes the handler comes out of the loop.
  EXPECT_THROW(window.RunMessageLoop(), std::runtime_error);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"show", "start"}));
  window.HideAndRepaint();
  EXPECT_FALSE(window.Visible());
}

TEST(MainWindow, PlacementAndStateBeforeShowing) {
  Recorder recorder;
  MainWindow window("Veilbox - Code Protection", &recorder);
  window.SetLeft(40);
  window.SetTop(50);
  EXPECT_EQ(window.Left(), 40);
  EXPECT_EQ(window.Top(), 50);
  EXPECT_GT(window.Width(), 194);
  EXPECT_GT(window.Height(), 40);
  window.SetState(kStateMaximized);
  EXPECT_EQ(window.State(), kStateMaximized);
  window.SetState(kStateNormal);
  EXPECT_EQ(window.State(), kStateNormal);
}

TEST(MainWindow, PendingMessagesAreDispatchedWhileWaiting) {
  Recorder recorder;
  MainWindow window("Veilbox - Code Protection", &recorder);
  window.PostStartCompile();
  EXPECT_THROW(ProcessPendingMessages(), std::runtime_error);
  EXPECT_EQ(recorder.events, std::vector<std::string>{"start"});
}

}  // namespace
}  // namespace veilbox::platform
