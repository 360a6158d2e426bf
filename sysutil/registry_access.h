// The registry access of one read or write: a root and at most one open
// current key. Opening a component moves below the current key (or the
// root while none is open) and closes the previous one; everything still
// open is closed when the object goes away.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "sysutil/globals.h"

namespace veilbox {

class RegistryAccess {
 public:
  // False when the handle is not a registry root.
  bool SelectRoot(RegistryRoot root);
  // The registry view the keys are opened in (a view flag of
  // platform/registry.h, or 0 for the program's own).
  void SelectView(std::uint32_t view) { view_ = view; }

  // Opens an existing key: with full access, else for reading only. An
  // empty component opens the current position again.
  bool OpenKey(std::string_view component);
  // Opens the key, creating a missing one; an empty component is opened
  // as by OpenKey.
  bool OpenOrCreateKey(std::string_view component);

  // Names of the current key's values; empty without a key.
  std::vector<std::string> ValueNames() const;
  // The value's text, the empty text when it has no data, or false when it
  // cannot be read or is not a string.
  bool ReadString(const std::string& name, std::string* text) const;
  bool WriteString(const std::string& name, const std::string& value) const;

 private:
  bool Replace(long rc, platform::RegKey* opened);

  RegistryRoot root_ = 0;
  std::uint32_t view_ = 0;
  platform::RegKey current_;
};

}  // namespace veilbox
