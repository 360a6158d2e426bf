#include <windows.h>

#include <cstdint>
#include <utility>

#include "platform/mapped_file.h"
#include "platform/system_error.h"

namespace veilbox::platform {
namespace {

std::string Failure(const char* what, const std::string& path) {
  return std::string(what) + " " + path + ": " + SystemErrorText(GetLastError());
}

}  // namespace

bool MappedFile::Open(const std::string& path, std::string* err) {
  Close();
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (err) *err = Failure("Cannot open", path);
    return false;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size) || GetFileType(file) != FILE_TYPE_DISK) {
    if (err) *err = Failure("Cannot map", path);
    CloseHandle(file);
    return false;
  }
  if (size.QuadPart == 0) {
    CloseHandle(file);
    return true;
  }
  if (static_cast<std::uint64_t>(size.QuadPart) > SIZE_MAX / 2) {
    if (err) *err = path + " is too large to map";
    CloseHandle(file);
    return false;
  }
  // While the view is open, Windows refuses to shorten the file.
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) {
    if (err) *err = Failure("Cannot map", path);
    CloseHandle(file);
    return false;
  }
  CloseHandle(file);
  const auto bytes = static_cast<std::size_t>(size.QuadPart);
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, bytes);
  if (!view) {
    if (err) *err = Failure("Cannot map", path);
    CloseHandle(mapping);
    return false;
  }
  mapping_ = reinterpret_cast<std::intptr_t>(mapping);
  data_ = static_cast<const char*>(view);
  size_ = bytes;
  return true;
}

void MappedFile::Close() {
  if (data_) UnmapViewOfFile(data_);
  if (mapping_ != -1) CloseHandle(reinterpret_cast<HANDLE>(mapping_));
  data_ = nullptr;
  size_ = 0;
  mapping_ = -1;
}

// Windows brings the pages in as they are read and trims the working set
// itself.
void MappedFile::WillRead(std::size_t, std::size_t) const {}
void MappedFile::DoneWith(std::size_t, std::size_t) const {}

bool MappedFile::Intact() const { return true; }

}  // namespace veilbox::platform
