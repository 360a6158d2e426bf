#include "app/settings_view.h"

namespace veilbox {

RegView SettingsView() {
  return RegKeyExists(kHkeyLocalMachine, kRegSettingsKey, RegView::k32) ? RegView::k32
                                                                        : RegView::k64;
}

}  // namespace veilbox
