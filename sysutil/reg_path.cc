#include "sysutil/reg_path.h"

#include <memory>
#include <new>

#include "sysutil/registry_access.h"
#include "sysutil/text_utils.h"
#include "text/ansi_case.h"

namespace veilbox {

namespace {

std::uint32_t ViewFlag(RegView view) {
  switch (view) {
    case RegView::k32:
      return platform::kKeyWow64_32Key;
    case RegView::k64:
      return platform::kKeyWow64_64Key;
    default:
      return 0;
  }
}

}  // namespace

std::string ReadRegString(RegistryRoot root, const std::string& path) {
  return ReadRegString(root, path, RegView::kOwn);
}

bool RegKeyExists(RegistryRoot root, const std::string& key_path, RegView view) {
  RegistryAccess access;
  if (!access.SelectRoot(root)) return false;
  access.SelectView(ViewFlag(view));
  const std::int32_t n = CountChar(key_path, '\\');
  for (std::int32_t i = 1; i <= n + 1; ++i)
    if (!access.OpenKey(ExtractToken(key_path, '\\', i))) return false;
  return true;
}

std::optional<std::string> ReadRegValue(RegistryRoot root, const std::string& path, RegView view) {
  LastStatus = kSuccessText;
  std::unique_ptr<RegistryAccess> access(new (std::nothrow) RegistryAccess);
  if (!access) {
    LastStatus = "Failed To create registry object";
    return std::nullopt;
  }
  access->SelectView(ViewFlag(view));
  if (!access->SelectRoot(root)) {
    LastStatus = "Cannot find root Given key";
    return std::nullopt;
  }
  const std::int32_t n = CountChar(path, '\\');
  // Opening the keys fails by its result; only memory running out raises,
  // and that is this path's failure too.
  try {
    for (std::int32_t i = 1; i <= n; ++i)
      if (!access->OpenKey(ExtractToken(path, '\\', i))) return std::nullopt;
  } catch (const std::bad_alloc&) {
    LastStatus = "Error While opening registry key " + path;
    return std::nullopt;
  }
  const std::string name = ExtractToken(path, '\\', n + 1);
  bool listed = false;
  for (const std::string& candidate : access->ValueNames()) {
    if (text::AnsiSameText(candidate, name)) {
      listed = true;
      break;
    }
  }
  if (!listed) return std::nullopt;
  std::string text;
  if (!access->ReadString(name, &text)) return std::nullopt;
  return text;
}

std::string ReadRegString(RegistryRoot root, const std::string& path, RegView view) {
  return ReadRegValue(root, path, view).value_or(kNotFound);
}

void WriteRegString(RegistryRoot root, const std::string& path, const std::string& value) {
  LastStatus = kSuccessText;
  std::unique_ptr<RegistryAccess> access(new (std::nothrow) RegistryAccess);
  if (!access) {
    LastStatus = "Failed To create registry object";
    return;
  }
  if (!access->SelectRoot(root)) {
    LastStatus = "Cannot Open given root key";
    return;
  }
  const std::int32_t n = CountChar(path, '\\');
  try {
    for (std::int32_t i = 1; i <= n; ++i)
      if (!access->OpenOrCreateKey(ExtractToken(path, '\\', i))) return;
  } catch (const std::bad_alloc&) {
    LastStatus = "Unable to open registry path " + path;
    return;
  }
  if (!access->WriteString(ExtractToken(path, '\\', n + 1), value))
    LastStatus = "Error While writting to " + path;
}

}  // namespace veilbox
