// The half of the file service that both platforms share: ownership of an
// open file (the handle moves with the object and is closed, through the
// platform's Close, when the owner goes away), sequential appending and
// reading a whole file into one buffer.
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

bool File::Append(const void* data, std::size_t n) {
  if (!WriteAt(append_offset_, data, n)) return false;
  append_offset_ += n;
  return true;
}

bool ReadWholeFile(const std::string& path, Share share, std::string* data, std::uint32_t* error) {
  std::uint32_t ignored;
  if (!error) error = &ignored;
  File file;
  std::uint64_t size = 0;
  if (!detail::OpenForWholeRead(path, share, &file, &size, error)) return false;
  // One buffer of the size the file has now, filled by as few reads as
  // the system allows; bytes the file gains meanwhile are not read.
  if (size > data->max_size()) {
    *error = kErrorNotEnoughMemory;
    return false;
  }
  data->clear();
  data->reserve(static_cast<std::size_t>(size));
  detail::PrepareLargeBuffer(data->data(), data->capacity());
  data->resize(static_cast<std::size_t>(size));
  std::size_t got = 0;
  if (!file.ReadAt(0, data->data(), data->size(), &got)) {
    *error = detail::LastReadError();
    data->clear();
    return false;
  }
  data->resize(got);
  return true;
}

std::vector<std::string> FindFiles(const std::string& pattern) {
  std::vector<std::string> names;
  std::uint32_t error = 0;
  FindFiles(pattern, &names, &error);
  return names;
}

}  // namespace veilbox::platform
