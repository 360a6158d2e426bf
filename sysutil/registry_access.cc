#include "sysutil/registry_access.h"

namespace veilbox {

using platform::kRegSuccess;

bool RegistryAccess::SelectRoot(RegistryRoot root) {
  if (!platform::IsRegistryRoot(root)) return false;
  root_ = root;
  return true;
}

bool RegistryAccess::Replace(long rc, platform::RegKey* opened) {
  if (rc != kRegSuccess) return false;
  current_ = std::move(*opened);  // closes the previous key
  return true;
}

bool RegistryAccess::OpenKey(std::string_view component) {
  const platform::RegKey* parent = current_.IsOpen() ? &current_ : nullptr;
  platform::RegKey opened;
  long rc =
      platform::OpenRegKey(root_, parent, component, platform::kKeyAllAccess | view_, &opened);
  if (rc != kRegSuccess)
    rc = platform::OpenRegKey(root_, parent, component, platform::kKeyRead | view_, &opened);
  return Replace(rc, &opened);
}

bool RegistryAccess::OpenOrCreateKey(std::string_view component) {
  if (component.empty()) return OpenKey(component);
  const platform::RegKey* parent = current_.IsOpen() ? &current_ : nullptr;
  platform::RegKey opened;
  return Replace(platform::CreateRegKey(root_, parent, component, &opened, view_), &opened);
}

std::vector<std::string> RegistryAccess::ValueNames() const {
  std::vector<std::string> names;
  std::uint32_t count = 0;
  std::uint32_t longest = 0;
  if (!current_.IsOpen() || platform::QueryRegKeyInfo(current_, &count, &longest) != kRegSuccess)
    return names;
  for (std::uint32_t i = 0; i < count; ++i) {
    std::string name;
    if (platform::EnumRegValueName(current_, i, longest + 1, &name) == kRegSuccess)
      names.push_back(std::move(name));
  }
  return names;
}

bool RegistryAccess::ReadString(const std::string& name, std::string* text) const {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (platform::QueryRegValueSize(current_, name, &type, &size) != kRegSuccess || size == 0) {
    text->clear();
    return true;
  }
  std::string data;
  if (platform::QueryRegValueData(current_, name, size, &type, &data) != kRegSuccess) return false;
  if (type != platform::kRegSz && type != platform::kRegExpandSz) return false;
  *text = data.substr(0, data.find('\0'));
  return true;
}

bool RegistryAccess::WriteString(const std::string& name, const std::string& value) const {
  if (!current_.IsOpen()) return false;
  std::string data = value;
  data += '\0';
  return platform::SetRegValue(current_, name, platform::kRegSz, data) == kRegSuccess;
}

}  // namespace veilbox
