#include "platform/window.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/message_loop.h"

namespace veilbox::platform {
namespace {

// Records the events and, like the program's window, posts the start
// message when shown; the start handler gives the run's exit code, or
// raises when told to.
class Recorder : public MainWindowEvents {
 public:
  void OnShow() override {
    events.push_back("show");
    if (window) window->PostStartCompile();
  }
  int OnStartCompile() override {
    events.push_back("start");
    if (raise) throw std::runtime_error("run ended");
    return 7;
  }
  void OnClose() override { events.push_back("close"); }

  MainWindow* window = nullptr;
  bool raise = false;
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
  // The loop ends with the run's exit code.
  EXPECT_EQ(window.RunMessageLoop(), 7);
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

// The form's show event posts the start message; however often and in
// whatever state the window is shown, the run starts once.
TEST(MainWindow, TheRunStartsOnceHoweverTheWindowIsShown) {
  const struct {
    const char* what;
    int state;
    bool hide_and_show_again;
  } cases[] = {
      {"normal", kStateNormal, false},
      {"minimized", kStateMinimized, false},
      {"maximized", kStateMaximized, false},
      {"hidden at once and shown again", kStateNormal, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Recorder recorder;
    MainWindow window("Veilbox - Code Protection", &recorder);
    recorder.window = &window;
    window.SetState(c.state);
    window.Show();
    window.Show();  // already shown: no second show event
    if (c.hide_and_show_again) {
      window.HideAndRepaint();
      window.Show();
    }
    window.PostStartCompile();  // a repeated post posts nothing
    EXPECT_EQ(window.RunMessageLoop(), 7);
    EXPECT_NO_THROW(ProcessPendingMessages());
    std::vector<std::string> expected(c.hide_and_show_again ? 2 : 1, "show");
    expected.push_back("start");
    EXPECT_EQ(recorder.events, expected);
  }
}

// What escapes the start handler comes out of whatever dispatched it.
TEST(MainWindow, PendingMessagesAreDispatchedWhileWaiting) {
  Recorder recorder;
  recorder.raise = true;
  MainWindow window("Veilbox - Code Protection", &recorder);
  window.PostStartCompile();
  EXPECT_THROW(ProcessPendingMessages(), std::runtime_error);
  EXPECT_EQ(recorder.events, std::vector<std::string>{"start"});
}

}  // namespace
}  // namespace veilbox::platform
