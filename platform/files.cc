// Ownership of an open file, the same on every platform: the handle moves
// with the object and is closed (through the platform's Close) when the
// owner goes away.
#include "platform/files.h"

namespace veilbox::platform {

File::~File() { Close(); }

File::File(File&& other) noexcept : handle_(other.handle_), append_offset_(other.append_offset_) {
  other.handle_ = -1;
  other.append_offset_ = 0;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    append_offset_ = other.append_offset_;
    other.handle_ = -1;
    other.append_offset_ = 0;
  }
  return *this;
}

}  // namespace veilbox::platform
