// The one way a compile run ends early: its message in the plain message
// box, then the unwinding to the program entry with the exit code. What
// the run has put on disk is removed on the way by the objects that own it.
#pragma once

#include <string>

#include "app/run_ui.h"
#include "sysutil/errors.h"

namespace veilbox {

[[noreturn]] inline void EndRun(RunUi& ui, const std::string& text, int code) {
  ui.ShowMessage(text);
  throw RunEnded(code);
}

}  // namespace veilbox
