#include <windows.h>

#include "platform/entry_identity.h"

namespace veilbox::platform {

bool IdentityOf(const std::string& path, EntryIdentity* identity, std::uint32_t* error) {
  // No access asked for: the identity can be told of a file held without
  // sharing too; backup semantics open a directory.
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return false;
  }
  BY_HANDLE_FILE_INFORMATION data;
  const bool ok = GetFileInformationByHandle(h, &data) != 0;
  if (!ok) *error = GetLastError();
  CloseHandle(h);
  if (!ok) return false;
  identity->volume = data.dwVolumeSerialNumber;
  identity->file = (static_cast<std::uint64_t>(data.nFileIndexHigh) << 32) | data.nFileIndexLow;
  return true;
}

}  // namespace veilbox::platform
