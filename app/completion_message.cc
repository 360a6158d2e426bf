#include "app/completion_message.h"

#include "app/run_settings.h"
#include "platform/debug_output.h"
#include "platform/profile.h"

namespace veilbox {
namespace {

constexpr char kKey[] = "COMPILEOKMESSAGE";

}  // namespace

void CompletionMessageSwitch::Suppress(const std::function<void()>& before_write) {
  if (platform::GetProfileValue(kSettingsSection, kKey, "1", settings_file_) != "1") return;
  before_write();
  // Not written: the compiler shows its own message, and the run does not
  // show a second one.
  if (!platform::SetProfileValue(kSettingsSection, kKey, "0", settings_file_)) {
    platform::DebugOutput("Veilbox cannot switch COMPILEOKMESSAGE off in " + settings_file_);
    return;
  }
  suppressed_ = pending_ = true;
}

void CompletionMessageSwitch::Restore() {
  if (!pending_) return;
  pending_ = false;
  // Not written: settling the run's journal tries again, and keeps the
  // settings file in the journal for the next run when it cannot.
  if (!platform::SetProfileValue(kSettingsSection, kKey, "1", settings_file_))
    platform::DebugOutput("Veilbox cannot switch COMPILEOKMESSAGE back on in " + settings_file_);
}

bool RestoreCompletionMessage(const std::string& settings_file) {
  // A file that cannot be read reads as the default, so an empty value
  // tells nothing: it is written like a 0, and a write that fails keeps
  // the journal's note.
  const std::string now = platform::GetProfileValue(kSettingsSection, kKey, "", settings_file);
  if (now != "0" && !now.empty()) return true;
  return platform::SetProfileValue(kSettingsSection, kKey, "1", settings_file);
}

}  // namespace veilbox
