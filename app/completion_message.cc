#include "app/completion_message.h"

#include "app/run_settings.h"
#include "platform/profile.h"

namespace veilbox {
namespace {

constexpr char kKey[] = "COMPILEOKMESSAGE";

}  // namespace

void CompletionMessageSwitch::Suppress(const std::function<void()>& before_write) {
  if (platform::GetProfileValue(kSettingsSection, kKey, "1", settings_file_) != "1") return;
  before_write();
  platform::SetProfileValue(kSettingsSection, kKey, "0", settings_file_);
  suppressed_ = pending_ = true;
}

void CompletionMessageSwitch::Restore() {
  if (!pending_) return;
  pending_ = false;
  platform::SetProfileValue(kSettingsSection, kKey, "1", settings_file_);
}

bool RestoreCompletionMessage(const std::string& settings_file) {
  if (platform::GetProfileValue(kSettingsSection, kKey, "1", settings_file) != "0") return true;
  return platform::SetProfileValue(kSettingsSection, kKey, "1", settings_file);
}

}  // namespace veilbox
