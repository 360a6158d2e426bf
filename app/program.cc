#include "app/program.h"

#include <exception>

#include "app/frm_main.h"
#include "app/run_safety.h"
#include "platform/interrupts.h"
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

// The program between the settings unit's start and end code; *interrupt
// is the soft end that stopped the run, if one did.
int RunUnits(std::vector<std::string> params, int* interrupt) {
  SettingsUnit settings;
  try {
    TFrmMain form(std::move(params));
    form.Show();
    // A loop that ends without a run (the window closed before it was
    // shown) compiled nothing, and the caller must not take that for
    // success.
    return form.RunMessageLoop().value_or(252);
  } catch (const RunEnded& end) {
    return end.code();
  } catch (const RunInterrupted& stop) {
    *interrupt = stop.interrupt();
    return 252;
  } catch (const std::exception& e) {
    // The run's two ends are caught above; nothing should get here. The
    // caller waiting for an exit code must not be left waiting all the
    // same.
    platform::ShowPlainMessage(kApplicationTitle, e.what());
    return 252;
  }
}

}  // namespace

int RunProgram(std::vector<std::string> params) {
  int interrupt = 0;
  const int code = RunUnits(std::move(params), &interrupt);
  // A soft end ends the process by the same signal, after every unit's
  // end code has run.
  if (interrupt != 0) platform::EndByInterrupt(interrupt, code);
  return code;
}

}  // namespace veilbox
