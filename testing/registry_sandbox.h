// A registry of its own for a test: a fresh stand-in registry in a scratch
// directory in the POSIX build, and a unique key below
// HKEY_CURRENT_USER\Software\VeilboxTest on Windows, deleted afterwards.
// Values of any type are staged and inspected through the platform seam.
#pragma once

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "testing/test_support.h"

namespace veilbox::testing {

class RegistrySandbox {
 public:
  RegistrySandbox() : prefix_(dir_.str()) {
    std::random_device rd;
    std::ostringstream id;
    id << std::hex << rd() << rd();
    id_ = id.str();
  }
  ~RegistrySandbox() { platform::DeleteRegTree(kHkeyCurrentUser, Base()); }
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;

  // The unique component of this sandbox's key.
  const std::string& id() const { return id_; }
  // Software\VeilboxTest\<id>, below HKEY_CURRENT_USER.
  std::string Base() const { return "Software\\VeilboxTest\\" + id_; }
  // The text with every '@' replaced by the id.
  std::string Expand(std::string_view text) const {
    std::string out;
    for (char c : text) out += c == '@' ? id_ : std::string(1, c);
    return out;
  }

  // Stores a value of any type, creating the key (path without empty
  // components, '@' expanded).
  bool Stage(RegistryRoot root, std::string_view key_path, std::string_view name,
             std::uint32_t type, std::string_view data) const {
    platform::RegKey key;
    if (platform::CreateRegKey(root, nullptr, Expand(key_path), &key) != platform::kRegSuccess)
      return false;
    return platform::SetRegValue(key, name, type, data) == platform::kRegSuccess;
  }

  // Fetches a value's type and bytes; false when there is none.
  bool Fetch(RegistryRoot root, std::string_view key_path, std::string_view name,
             std::uint32_t* type, std::string* data) const {
    platform::RegKey key;
    if (platform::OpenRegKey(root, nullptr, Expand(key_path), platform::kKeyRead, &key) !=
        platform::kRegSuccess)
      return false;
    std::uint32_t size = 0;
    if (platform::QueryRegValueSize(key, name, type, &size) != platform::kRegSuccess) return false;
    if (size == 0) {
      data->clear();
      return true;
    }
    return platform::QueryRegValueData(key, name, size, type, data) == platform::kRegSuccess;
  }

 private:
  ScratchDir dir_;
  PrefixOverride prefix_;
  std::string id_;
};

}  // namespace veilbox::testing
