#include <windows.h>

#include "platform/entry_identity.h"

namespace veilbox::platform {
namespace {

// What the system knows of the entry at path, opened with no access asked
// for (the entry may be held without sharing) and backup semantics (a
// directory opens too); extra_flags may add FILE_FLAG_OPEN_REPARSE_POINT.
bool Information(const std::string& path, DWORD extra_flags, BY_HANDLE_FILE_INFORMATION* data,
                 std::uint32_t* error) {
  HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | extra_flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return false;
  }
  const bool ok = GetFileInformationByHandle(h, data) != 0;
  if (!ok) *error = GetLastError();
  CloseHandle(h);
  return ok;
}

std::uint64_t Wide(DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; }

std::uint64_t Ticks(const FILETIME& time) { return Wide(time.dwHighDateTime, time.dwLowDateTime); }

}  // namespace

bool IdentityOf(const std::string& path, EntryIdentity* identity, std::uint32_t* error) {
  // A link or a junction is followed: the identity is the directory's.
  BY_HANDLE_FILE_INFORMATION data;
  if (!Information(path, 0, &data, error)) return false;
  identity->volume = data.dwVolumeSerialNumber;
  identity->file = Wide(data.nFileIndexHigh, data.nFileIndexLow);
  return true;
}

bool StampOf(const std::string& path, EntryStamp* stamp, std::uint32_t* error) {
  // The entry itself: a link or a junction is not followed.
  BY_HANDLE_FILE_INFORMATION data;
  if (!Information(path, FILE_FLAG_OPEN_REPARSE_POINT, &data, error)) return false;
  stamp->identity.volume = data.dwVolumeSerialNumber;
  stamp->identity.file = Wide(data.nFileIndexHigh, data.nFileIndexLow);
  stamp->size = Wide(data.nFileSizeHigh, data.nFileSizeLow);
  stamp->written = Ticks(data.ftLastWriteTime);
  stamp->created = Ticks(data.ftCreationTime);
  return true;
}

}  // namespace veilbox::platform
