// What an entry is, whatever its name: the same directory reached as
// "P\.", "P\x\..", "P\\", through a link or a junction, a mapped drive or
// a UNC path, or an 8.3 short name has one identity. Windows: the volume
// serial number and the file ID from GetFileInformationByHandle. POSIX
// stand-in: the device and the inode.
#pragma once

#include <cstdint>
#include <string>

namespace veilbox::platform {

struct EntryIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  auto operator<=>(const EntryIdentity&) const = default;
};

// The identity of what path names, links followed; false with the error
// code when it cannot be told (missing, no access).
bool IdentityOf(const std::string& path, EntryIdentity* identity, std::uint32_t* error);

// What tells an entry from another that came to stand at its name later,
// or from the same entry after someone changed it: its identity, its size
// and its times (Windows: last write and creation; POSIX stand-in: the
// last change of its bytes, and 0). A link is looked at itself, not
// followed. The times are the system's own units.
struct EntryStamp {
  EntryIdentity identity;
  std::uint64_t size = 0;
  std::uint64_t written = 0;
  std::uint64_t created = 0;
  bool operator==(const EntryStamp&) const = default;
};

// The stamp of the entry at path; false with the error code when it
// cannot be told (kErrorFileNotFound when nothing stands there).
bool StampOf(const std::string& path, EntryStamp* stamp, std::uint32_t* error);

}  // namespace veilbox::platform
