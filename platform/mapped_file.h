// A read-only view of a whole file in memory, for reading a large file in
// place without copying it through a buffer.
//
// The view holds the bytes the file had when it was mapped, up to the size
// it had then. Another process may shorten the file meanwhile: Windows
// refuses that while a view is open; natively the pages past the new end
// read as zeros instead of ending the process, and the view no longer
// counts as intact. A reader that must not act on such bytes checks
// Intact() after reading them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace veilbox::platform {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile();
  MappedFile(MappedFile&& other) noexcept;
  MappedFile& operator=(MappedFile&& other) noexcept;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Maps the existing regular file at path (shared with other readers and
  // writers) as large as it is now; an empty file gives an empty view.
  // False with the reason in *err when it cannot be opened or mapped (a
  // file too large for the address space, for one); the view is empty
  // then.
  bool Open(const std::string& path, std::string* err);
  // Releases the view; nothing on an empty one.
  void Close();

  std::string_view bytes() const { return {data_, size_}; }
  // Hints for a reader going through the view in order: the bytes
  // [offset, offset + length) are read next (the system may bring them in
  // at once), or are done with for now (the system may drop them from the
  // process's memory; read again, they are brought back). Neither changes
  // what the view holds.
  void WillRead(std::size_t offset, std::size_t length) const;
  void DoneWith(std::size_t offset, std::size_t length) const;
  // False once part of the view was found gone because the file was
  // shortened after it was mapped: those bytes read as zeros.
  bool Intact() const;

 private:
  const char* data_ = nullptr;
  std::size_t size_ = 0;
  // The system's handle of the mapping (Windows), or -1.
  std::intptr_t mapping_ = -1;
  // The place of this view in the natively kept table of views, or -1.
  int slot_ = -1;
};

}  // namespace veilbox::platform
