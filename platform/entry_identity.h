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

}  // namespace veilbox::platform
