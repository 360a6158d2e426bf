#include <windows.h>

#include "platform/registry.h"

namespace veilbox::platform {

struct RegKey::Handle {
  HKEY hkey;
};

void RegKey::Closer::operator()(Handle* handle) const {
  RegCloseKey(handle->hkey);
  delete handle;
}

namespace {

// The predefined handles are sign-extended 32-bit values.
HKEY RootHandle(RegistryRoot root) {
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

HKEY ParentHandle(RegistryRoot root, const RegKey* parent) {
  if (!parent) return RootHandle(root);
  return parent->IsOpen() ? parent->handle()->hkey : nullptr;
}

RegKey Wrap(HKEY hkey) { return RegKey(RegKey::HandlePtr(new RegKey::Handle{hkey})); }

// Veilbox ships as a 32-bit program and sees the registry as one: an open
// or a create that names no view gets the 32-bit one, so that a 64-bit
// build (tested where no 32-bit program runs) reads and writes what the
// 32-bit program does. For a 32-bit program that is its own view anyway.
REGSAM WithView(std::uint32_t access) {
  if ((access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) == 0) access |= KEY_WOW64_32KEY;
  return static_cast<REGSAM>(access);
}

}  // namespace

bool IsRegistryRoot(RegistryRoot root) { return root >= 0x80000000u && root <= 0x80000005u; }

long OpenRegKey(RegistryRoot root, const RegKey* parent, std::string_view sub_key,
                std::uint32_t access, RegKey* key) {
  HKEY from = ParentHandle(root, parent);
  if (!from) return ERROR_INVALID_HANDLE;
  HKEY opened = nullptr;
  const LONG rc = RegOpenKeyExA(from, std::string(sub_key).c_str(), 0, WithView(access), &opened);
  if (rc == ERROR_SUCCESS) *key = Wrap(opened);
  return rc;
}

long CreateRegKey(RegistryRoot root, const RegKey* parent, std::string_view sub_key, RegKey* key,
                  std::uint32_t view) {
  HKEY from = ParentHandle(root, parent);
  if (!from) return ERROR_INVALID_HANDLE;
  HKEY created = nullptr;
  const LONG rc = RegCreateKeyExA(
      from, std::string(sub_key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
      WithView(KEY_ALL_ACCESS | (view & (KEY_WOW64_32KEY | KEY_WOW64_64KEY))), nullptr, &created, nullptr);
  if (rc == ERROR_SUCCESS) *key = Wrap(created);
  return rc;
}

long QueryRegKeyInfo(const RegKey& key, std::uint32_t* value_count,
                     std::uint32_t* max_value_name_len) {
  if (!key.IsOpen()) return ERROR_INVALID_HANDLE;
  DWORD values = 0;
  DWORD max_name = 0;
  const LONG rc = RegQueryInfoKeyA(key.handle()->hkey, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, &values, &max_name, nullptr, nullptr, nullptr);
  *value_count = rc == ERROR_SUCCESS ? values : 0;
  *max_value_name_len = rc == ERROR_SUCCESS ? max_name : 0;
  return rc;
}

long EnumRegValueName(const RegKey& key, std::uint32_t index, std::uint32_t buffer_len,
                      std::string* name) {
  if (!key.IsOpen()) return ERROR_INVALID_HANDLE;
  std::string buffer(buffer_len + 1, '\0');  // room for a zero even at length 0
  DWORD len = buffer_len;
  const LONG rc = RegEnumValueA(key.handle()->hkey, index, buffer.data(), &len, nullptr, nullptr,
                                nullptr, nullptr);
  if (rc == ERROR_SUCCESS) name->assign(buffer.data(), len);
  return rc;
}

long QueryRegValueSize(const RegKey& key, std::string_view name, std::uint32_t* type,
                       std::uint32_t* size) {
  if (!key.IsOpen()) return ERROR_INVALID_HANDLE;
  DWORD t = 0;
  DWORD s = 0;
  const LONG rc =
      RegQueryValueExA(key.handle()->hkey, std::string(name).c_str(), nullptr, &t, nullptr, &s);
  if (rc == ERROR_SUCCESS) {
    *type = t;
    *size = s;
  }
  return rc;
}

long QueryRegValueData(const RegKey& key, std::string_view name, std::uint32_t buffer_size,
                       std::uint32_t* type, std::string* data) {
  if (!key.IsOpen()) return ERROR_INVALID_HANDLE;
  std::string buffer(buffer_size + 1, '\0');
  DWORD t = 0;
  DWORD s = buffer_size;
  const LONG rc = RegQueryValueExA(key.handle()->hkey, std::string(name).c_str(), nullptr, &t,
                                   reinterpret_cast<BYTE*>(buffer.data()), &s);
  *type = t;
  if (rc == ERROR_SUCCESS) data->assign(buffer.data(), s);
  return rc;
}

long SetRegValue(const RegKey& key, std::string_view name, std::uint32_t type,
                 std::string_view data) {
  if (!key.IsOpen()) return ERROR_INVALID_HANDLE;
  return RegSetValueExA(key.handle()->hkey, std::string(name).c_str(), 0, type,
                        reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size()));
}

long DeleteRegTree(RegistryRoot root, std::string_view sub_key) {
  return RegDeleteTreeA(RootHandle(root), std::string(sub_key).c_str());
}

}  // namespace veilbox::platform
