// The Windows registry, one call per function: RegOpenKeyExA,
// RegCreateKeyExA, RegQueryInfoKeyA, RegEnumValueA, RegQueryValueExA,
// RegSetValueExA, with RegCloseKey done by the key object. Results are the
// Win32 error codes.
//
// The POSIX stand-in keeps the registry in registry.reg in the prefix
// directory (standin/prefix.h), in regedit's text format. A missing file
// is an empty registry; a file that cannot be parsed opens nothing and is
// never overwritten. Without write permission bits on the file (or on the
// directory, while the file does not exist yet) the registry is read-only:
// write access and key creation are refused with access denied. Below
// HKEY_PERFORMANCE_DATA there are no keys, and none can be created.
//
// Registry views: 64-bit Windows keeps the keys below
// HKEY_LOCAL_MACHINE\Software apart for 32-bit programs (the 32-bit view,
// stored below Software\WOW6432Node) and 64-bit ones; kKeyWow64_32Key or
// kKeyWow64_64Key in the access of an open or a create picks a view
// whatever the program's own. 32-bit Windows has one view and ignores
// both. The stand-in is a 64-bit Windows seen by a program that names its
// view where it matters: with kKeyWow64_32Key a key below
// HKEY_LOCAL_MACHINE\Software lies below Software\WOW6432Node in the
// file; without it, below Software itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace veilbox::platform {

// Predefined registry roots, with the values Windows gives them.
using RegistryRoot = std::uint32_t;
inline constexpr RegistryRoot kHkeyClassesRoot = 0x80000000u;
inline constexpr RegistryRoot kHkeyCurrentUser = 0x80000001u;
inline constexpr RegistryRoot kHkeyLocalMachine = 0x80000002u;
inline constexpr RegistryRoot kHkeyUsers = 0x80000003u;
// Value types.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

inline constexpr long kRegSuccess = 0;            // ERROR_SUCCESS
inline constexpr long kRegFileNotFound = 2;       // ERROR_FILE_NOT_FOUND
inline constexpr long kRegAccessDenied = 5;       // ERROR_ACCESS_DENIED
inline constexpr long kRegInvalidHandle = 6;      // ERROR_INVALID_HANDLE
inline constexpr long kRegInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
inline constexpr long kRegMoreData = 234;         // ERROR_MORE_DATA
inline constexpr long kRegNoMoreItems = 259;      // ERROR_NO_MORE_ITEMS
inline constexpr long kRegBadDatabase = 1009;     // ERROR_BADDB
inline constexpr long kRegKeyDeleted = 1018;      // ERROR_KEY_DELETED

inline constexpr std::uint32_t kKeyRead = 0x20019;        // KEY_READ
inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;   // KEY_ALL_ACCESS
inline constexpr std::uint32_t kKeyWow64_64Key = 0x0100;  // KEY_WOW64_64KEY
inline constexpr std::uint32_t kKeyWow64_32Key = 0x0200;  // KEY_WOW64_32KEY

inline constexpr RegistryRoot kHkeyPerformanceData = 0x80000004u;

// True for the predefined root handles (HKEY_CLASSES_ROOT and the rest).
bool IsRegistryRoot(RegistryRoot root);

// An open key; closed with RegCloseKey when the object goes away or is
// given another handle.
class RegKey {
 public:
  struct Handle;  // of the platform
  struct Closer {
    void operator()(Handle* handle) const;
  };
  using HandlePtr = std::unique_ptr<Handle, Closer>;

  RegKey() = default;
  explicit RegKey(HandlePtr handle) : handle_(std::move(handle)) {}

  bool IsOpen() const { return handle_ != nullptr; }
  const Handle* handle() const { return handle_.get(); }

 private:
  HandlePtr handle_;
};

// RegOpenKeyExA of sub_key below `parent`, or below `root` while parent is
// null. An empty sub_key opens a new handle to the parent itself.
long OpenRegKey(RegistryRoot root, const RegKey* parent, std::string_view sub_key,
                std::uint32_t access, RegKey* key);
// RegCreateKeyExA with no class, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS
// (with the view flag given, if any) and default security: opens the key,
// creating it when it is missing.
long CreateRegKey(RegistryRoot root, const RegKey* parent, std::string_view sub_key, RegKey* key,
                  std::uint32_t view = 0);
// RegQueryInfoKeyA: the number of values and the length of the longest
// value name, in characters without the closing zero.
long QueryRegKeyInfo(const RegKey& key, std::uint32_t* value_count,
                     std::uint32_t* max_value_name_len);
// RegEnumValueA: the name of value `index`, fetched into a buffer of
// buffer_len characters (the closing zero included).
long EnumRegValueName(const RegKey& key, std::uint32_t index, std::uint32_t buffer_len,
                      std::string* name);
// RegQueryValueExA without a buffer: the value's type and size in bytes.
long QueryRegValueSize(const RegKey& key, std::string_view name, std::uint32_t* type,
                       std::uint32_t* size);
// RegQueryValueExA into a buffer of buffer_size bytes: type and data.
long QueryRegValueData(const RegKey& key, std::string_view name, std::uint32_t buffer_size,
                       std::uint32_t* type, std::string* data);
// RegSetValueExA: stores exactly these bytes with this type.
long SetRegValue(const RegKey& key, std::string_view name, std::uint32_t type,
                 std::string_view data);
// RegDeleteTreeA of sub_key below the root, with the key itself.
long DeleteRegTree(RegistryRoot root, std::string_view sub_key);

}  // namespace veilbox::platform
