// The compiler's own completion message, COMPILEOKMESSAGE in the settings
// file: switched off ("0") for the compile when it is on ("1"), and back on
// afterwards, so that Veilbox shows its own message once its clean-up is
// done.
#pragma once

#include <functional>
#include <string>

namespace veilbox {

// Writes "1" back when the run wrote "0", at the latest when the run ends.
class CompletionMessageSwitch {
 public:
  explicit CompletionMessageSwitch(std::string settings_file)
      : settings_file_(std::move(settings_file)) {}
  ~CompletionMessageSwitch() { Restore(); }
  CompletionMessageSwitch(const CompletionMessageSwitch&) = delete;
  CompletionMessageSwitch& operator=(const CompletionMessageSwitch&) = delete;

  // Switches the message off when it is on; before_write runs just before
  // "0" is written (the run journal records it there).
  void Suppress(const std::function<void()>& before_write);
  // Switches it back on if Suppress switched it off.
  void Restore();
  // Whether Suppress switched it off: the run then shows its own message.
  bool suppressed() const { return suppressed_; }

 private:
  std::string settings_file_;
  bool suppressed_ = false;
  bool pending_ = false;
};

// Puts back the "1" that a run killed during its compile left as "0"; a
// value set since then stays (a key that cannot be read, or that is gone,
// is written as "1"). False when the file cannot be written.
bool RestoreCompletionMessage(const std::string& settings_file);

}  // namespace veilbox
