// What the compile run needs of the main window: its message boxes, its
// placement and hiding it.
#pragma once

#include <string>

#include "platform/registry.h"

namespace veilbox {

using platform::RegistryRoot;

// The application's title: the caption of the plain message box.
inline constexpr char kApplicationTitle[] = "Veilbox";

class RunUi {
 public:
  // The plain message box: OK, no icon, the application title as caption.
  virtual void ShowMessage(const std::string& text) = 0;
  // The error dialog: caption "Error", error icon, OK.
  virtual void ShowErrorDialog(const std::string& text) = 0;
  // From now on the main window's placement is read and written below
  // root (RegRoot); restores it from there (RestoreFormPlacement). A bad
  // stored position is ignored, never an end of the run.
  virtual void RestorePlacement(RegistryRoot root) = 0;
  // Hides the main window and repaints what lay under it.
  virtual void HideWindow() = 0;

 protected:
  ~RunUi() = default;
};

}  // namespace veilbox
