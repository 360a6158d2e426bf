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

namespace {

std::uint64_t Ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

bool StampOf(const std::string& path, EntryStamp* stamp, std::uint32_t* error) {
  // The entry itself: a link or a junction is not followed.
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return false;
  }
  BY_HANDLE_FILE_INFORMATION data;
  const bool ok = GetFileInformationByHandle(h, &data) != 0;
  if (!ok) *error = GetLastError();
  CloseHandle(h);
  if (!ok) return false;
  stamp->identity.volume = data.dwVolumeSerialNumber;
  stamp->identity.file =
      (static_cast<std::uint64_t>(data.nFileIndexHigh) << 32) | data.nFileIndexLow;
  stamp->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  stamp->written = Ticks(data.ftLastWriteTime);
  stamp->created = Ticks(data.ftCreationTime);
  return true;
}

}  // namespace veilbox::platform
