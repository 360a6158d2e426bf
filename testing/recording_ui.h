// A run's user interface for tests: takes the messages down instead of
// showing them ("Error: " before an error dialog's text).
#pragma once

#include <string>
#include <vector>

#include "app/run_ui.h"

namespace veilbox::testing {

class RecordingUi : public RunUi {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowErrorDialog(const std::string& text) override { messages.push_back("Error: " + text); }
  void RestorePlacement(RegistryRoot) override {}
  void HideWindow() override {}
  std::vector<std::string> messages;
};

}  // namespace veilbox::testing
