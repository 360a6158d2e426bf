#include "app/settings_view.h"

namespace veilbox {

RegView SettingsView(RegistryRoot root, const char* key_path) {
  return RegKeyExists(root, key_path, RegView::k32) ? RegView::k32 : RegView::k64;
}

}  // namespace veilbox
