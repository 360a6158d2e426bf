// What both halves of the mapped view share: its ownership moves with it,
// and it is released when its owner ends.
#include "platform/mapped_file.h"

#include <utility>

namespace veilbox::platform {

MappedFile::~MappedFile() { Close(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapping_(std::exchange(other.mapping_, -1)),
      slot_(std::exchange(other.slot_, -1)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
  if (this != &other) {
    Close();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapping_ = std::exchange(other.mapping_, -1);
    slot_ = std::exchange(other.slot_, -1);
  }
  return *this;
}

}  // namespace veilbox::platform
