// File service of the platform seam. Paths are Windows-style texts in the
// system's ANSI code page; the POSIX stand-in maps them onto its own file
// system (see NativePath). Failures carry Windows error codes (2 = file not
// found, 3 = path not found, 5 = access denied, ...) on both builds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veilbox::platform {

// Windows error codes used across the seam.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorInvalidName = 123;
inline constexpr std::uint32_t kErrorFilenameTooLong = 206;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorLockViolation = 33;
// ERROR_BAD_FILE_TYPE: what stands at the name is no regular file (a
// device, a pipe, a FIFO).
inline constexpr std::uint32_t kErrorBadFileType = 222;

// File attributes, with the values Windows gives them.
inline constexpr std::uint32_t kAttrReadOnly = 0x1;
inline constexpr std::uint32_t kAttrHidden = 0x2;
inline constexpr std::uint32_t kAttrSystem = 0x4;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;
inline constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// How an open file may be shared with other openers.
enum class Share { kNone, kReadWrite };

class File;

namespace detail {
// Each platform's half of ReadWholeFile (files.cc); error is never null.
// Opens a regular file for reading only, with this sharing, and tells its
// size, with ReadWholeFile's errors.
bool OpenForWholeRead(const std::string& path, Share share, File* file, std::uint64_t* size,
                      std::uint32_t* error);
// Lets the system back a large buffer that is about to be filled in one
// read with large pages, where it has them.
void PrepareLargeBuffer(char* begin, std::size_t size);
// The error code of the read that just failed.
std::uint32_t LastReadError();
}  // namespace detail

// An open file; closes itself. Move-only.
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file. `write` asks for write access besides read.
  static bool OpenExisting(const std::string& path, bool write, Share share, File* out,
                           std::uint32_t* error);
  // Creates the file, or truncates an existing one (CREATE_ALWAYS with
  // normal attributes, no sharing, write access). Like Windows, this fails
  // with access denied on an existing hidden, system or read-only file.
  static bool CreateAlways(const std::string& path, File* out, std::uint32_t* error);
  // Creates a new file that only this account can read (POSIX: mode 0600
  // whatever the umask; Windows: an access list of the current user and
  // SYSTEM alone), hidden from its creation on, not shared, write access.
  // Fails with kErrorFileExists when anything at all stands at the name (a
  // file, a directory, a link even when it dangles): it never opens or
  // follows an existing entry.
  static bool CreateNewPrivate(const std::string& path, File* out, std::uint32_t* error);

  bool is_open() const;
  // Reads up to n bytes at offset; *got is how many arrived (0 at the end).
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t n, std::size_t* got);
  // Writes n bytes at offset.
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t n);
  // Writes n bytes at the current end of what this object wrote so far
  // (sequential writing for a freshly created file).
  bool Append(const void* data, std::size_t n);
  // Size in bytes; none when it cannot be told.
  std::optional<std::uint64_t> Size();
  // Flushes to the disk.
  bool Sync();
  void Close();

 private:
  friend bool detail::OpenForWholeRead(const std::string& path, Share share, File* file,
                                       std::uint64_t* size, std::uint32_t* error);

  std::intptr_t handle_ = -1;  // a HANDLE or a file descriptor
  std::uint64_t append_offset_ = 0;
};

// Reads a whole file, opened once for reading only with the given sharing,
// into one buffer of the size the file has when it is opened (bytes it
// gains meanwhile are not read). Only a regular file is read: anything
// else (a device, a pipe, a FIFO) fails at once with kErrorBadFileType, a
// directory with kErrorAccessDenied.
bool ReadWholeFile(const std::string& path, Share share, std::string* data, std::uint32_t* error);

// Attributes of a file or directory, kInvalidAttributes when it is missing.
std::uint32_t FileAttributes(const std::string& path);
// Replaces the attributes (hidden, read-only, system, archive; kAttrNormal
// for none).
bool SetAttributes(const std::string& path, std::uint32_t attributes);

// True only for an existing file, not for a directory.
bool FileExists(const std::string& path);
// True for an existing directory.
bool DirectoryExists(const std::string& path);

// DeleteFileA: false with the Windows error code on failure.
bool RemoveFile(const std::string& path, std::uint32_t* error);
// Renames from over to, replacing an existing file, and returns once the
// rename is on disk: Windows moves write-through (MOVEFILE_WRITE_THROUGH),
// POSIX flushes the directory after the rename.
bool RenameReplace(const std::string& from, const std::string& to, std::uint32_t* error);
bool MakeDirectory(const std::string& path, std::uint32_t* error);

// The names (without directory) of every entry that matches a pattern whose
// last component may hold * and ?, in the order the system delivers them,
// including directories and "." and ".." where the pattern matches them.
std::vector<std::string> FindFiles(const std::string& pattern);
// The same, telling a directory that cannot be listed from one where
// nothing matches: a missing directory or no match is true with no names;
// any other failure, even part-way through the listing, is false with the
// Windows error code.
bool FindFiles(const std::string& pattern, std::vector<std::string>* names, std::uint32_t* error);

// What stands at a name itself, a link not followed.
enum class EntryKind {
  kMissing,
  kFile,  // a regular file
  kDirectory,
  kLink,   // a symbolic link; on Windows any reparse point (junction, ...)
  kOther,  // a FIFO, a device, a socket
};
struct EntryInfo {
  EntryKind kind = EntryKind::kMissing;
  std::uint32_t attributes = 0;  // for kFile: as FileAttributes gives them
  std::uint32_t links = 0;       // for kFile: the number of names it has
};
// False with the error code when the name cannot be looked at; a missing
// entry is kMissing and true.
bool InspectEntry(const std::string& path, EntryInfo* info, std::uint32_t* error);

// Renames an entry (a file, or a link itself) to a name where nothing
// stands; fails with kErrorFileExists or kErrorAlreadyExists when
// something does. Returns once the rename is on disk, as RenameReplace.
bool RenameNoReplace(const std::string& from, const std::string& to, std::uint32_t* error);

// The name of an existing entry with its letter case as it is on disk
// (the directory part as given); path itself when it cannot be told.
std::string NameOnDisk(const std::string& path);

// GetWindowsDirectoryA: false with the error code when it fails.
bool WindowsDirectory(std::string* dir, std::uint32_t* error);

// The path as the operating system takes it. Windows: unchanged. POSIX
// stand-in: backslashes become slashes, a drive "X:" becomes the directory
// drive_x in the prefix, and each component that does not exist with its
// exact case is looked up without regard to case.
std::string NativePath(const std::string& path);

}  // namespace veilbox::platform
