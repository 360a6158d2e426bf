#include "app/program.h"

#include <exception>

#include "app/frm_main.h"
#include "platform/message_box.h"
#include "sysutil/errors.h"
#include "sysutil/settings_unit.h"

namespace veilbox {
namespace {

// Runs the settings unit's end code however the program ends.
class SettingsUnit {
 public:
  SettingsUnit() { StartSettingsUnit(); }
  ~SettingsUnit() { EndSettingsUnit(); }
  SettingsUnit(const SettingsUnit&) = delete;
  SettingsUnit& operator=(const SettingsUnit&) = delete;
};

}  // namespace

int RunProgram(std::vector<std::string> params) {
  SettingsUnit settings;
  try {
    TFrmMain form(std::move(params));
    form.Show();
    return form.RunMessageLoop();
  } catch (const RunEnded& end) {
    return end.code();
  } catch (const std::exception& e) {
    // Nothing should get here; the caller waiting for an exit code must
    // not be left waiting all the same.
    platform::ShowPlainMessage(kApplicationTitle, e.what());
    return 252;
  }
}

}  // namespace veilbox
