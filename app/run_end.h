// The one way a compile run ends early: what the run has put on disk is
// cleaned up first (when the caller passes how), then the message shows
// in its box, then the run unwinds to the program entry with the exit
// code. Whatever the clean-up leaves is removed on the way by the objects
// that own it.
#pragma once

#include <functional>
#include <string>

#include "app/run_ui.h"
#include "sysutil/errors.h"

namespace veilbox {

// The box a run's end shows its message in.
enum class EndBox { kMessage, kErrorDialog };

[[noreturn]] inline void EndRun(RunUi& ui, const std::string& text, int code,
                                const std::function<void()>& clean_up = nullptr,
                                EndBox box = EndBox::kMessage) {
  if (clean_up) clean_up();
  if (box == EndBox::kErrorDialog) {
    ui.ShowErrorDialog(text);
  } else {
    ui.ShowMessage(text);
  }
  throw RunEnded(code);
}

}  // namespace veilbox
