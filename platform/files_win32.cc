#include <windows.h>

#include <vector>

// After <windows.h>: the header takes back the plain names.
#include "platform/files.h"

namespace veilbox::platform {
namespace {

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

DWORD ShareFlags(Share share) {
  return share == Share::kReadWrite ? (FILE_SHARE_READ | FILE_SHARE_WRITE) : 0;
}

// Windows refuses these itself; the checks give the same answer where it
// does not (Wine run as root ignores the read-only bit, and it lets
// CREATE_ALWAYS replace a hidden file).
bool RefusedByAttributes(const std::string& path, DWORD refusing, std::uint32_t* error) {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY) || !(a & refusing))
    return false;
  if (error) *error = ERROR_ACCESS_DENIED;
  return true;
}

// ReadFile and WriteFile move at most this much per call.
constexpr std::size_t kMaxChunk = 1u << 30;

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED ov = {};
  ov.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return ov;
}

}  // namespace

bool File::OpenExisting(const std::string& path, bool write, Share share, File* out,
                        std::uint32_t* error) {
  if (write && RefusedByAttributes(path, FILE_ATTRIBUTE_READONLY, error)) return false;
  const DWORD access = GENERIC_READ | (write ? GENERIC_WRITE : 0);
  HANDLE h = CreateFileA(path.c_str(), access, ShareFlags(share), nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return false;
  }
  out->Close();
  out->handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

bool File::CreateAlways(const std::string& path, File* out, std::uint32_t* error) {
  if (RefusedByAttributes(
          path, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY, error))
    return false;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return false;
  }
  out->Close();
  out->handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

namespace {

// A security descriptor whose access list grants the current user and
// SYSTEM full access and no one else, inheriting nothing from the
// directory.
class PrivateSecurity {
 public:
  bool Build() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user_.resize(size);
    const bool got = size != 0 && GetTokenInformation(token, TokenUser, user_.data(), size, &size);
    CloseHandle(token);
    if (!got) return false;
    PSID user = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    DWORD system_size = sizeof(system_);
    if (!CreateWellKnownSid(WinLocalSystemSid, nullptr, system_, &system_size)) return false;
    const DWORD acl_size =
        sizeof(ACL) + 2 * sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(user) + GetLengthSid(system_);
    acl_.resize(acl_size);
    PACL acl = reinterpret_cast<PACL>(acl_.data());
    return InitializeAcl(acl, acl_size, ACL_REVISION) &&
           AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, user) &&
           AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, system_) &&
           InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
           SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  }
  SECURITY_ATTRIBUTES* attributes() {
    attributes_ = {sizeof(SECURITY_ATTRIBUTES), &descriptor_, FALSE};
    return &attributes_;
  }

 private:
  std::vector<BYTE> user_;
  alignas(DWORD) BYTE system_[SECURITY_MAX_SID_SIZE] = {};
  std::vector<DWORD> acl_;  // DWORD-aligned, as an ACL must be
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
};

}  // namespace

bool File::CreateNewPrivate(const std::string& path, File* out, std::uint32_t* error) {
  PrivateSecurity security;
  if (!security.Build()) {
    if (error) *error = GetLastError();
    return false;
  }
  // CREATE_NEW fails on any entry at the name, a link or junction
  // included, so nothing is written through one.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, security.attributes(),
                         CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    if (error) *error = GetLastError();
    return false;
  }
  out->Close();
  out->handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

bool File::is_open() const { return handle_ != -1; }

bool File::ReadAt(std::uint64_t offset, void* buffer, std::size_t n, std::size_t* got) {
  *got = 0;
  if (!is_open()) return false;
  char* p = static_cast<char*>(buffer);
  while (*got < n) {
    const DWORD want = static_cast<DWORD>(n - *got < kMaxChunk ? n - *got : kMaxChunk);
    OVERLAPPED ov = At(offset + *got);
    DWORD read = 0;
    if (!ReadFile(AsHandle(handle_), p + *got, want, &read, &ov)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      return false;
    }
    if (read == 0) break;
    *got += read;
  }
  return true;
}

bool File::WriteAt(std::uint64_t offset, const void* data, std::size_t n) {
  if (!is_open()) return false;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < n) {
    const DWORD want = static_cast<DWORD>(n - done < kMaxChunk ? n - done : kMaxChunk);
    OVERLAPPED ov = At(offset + done);
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle_), p + done, want, &written, &ov) || written == 0) return false;
    done += written;
  }
  return true;
}

std::optional<std::uint64_t> File::Size() {
  LARGE_INTEGER size;
  if (!is_open() || !GetFileSizeEx(AsHandle(handle_), &size) || size.QuadPart < 0)
    return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

bool File::Sync() { return is_open() && FlushFileBuffers(AsHandle(handle_)) != 0; }

void File::Close() {
  if (is_open()) CloseHandle(AsHandle(handle_));
  handle_ = -1;
  append_offset_ = 0;
}

bool detail::OpenForWholeRead(const std::string& path, Share share, File* file, std::uint64_t* size,
                              std::uint32_t* error) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, ShareFlags(share), nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return false;
  }
  file->Close();
  file->handle_ = reinterpret_cast<std::intptr_t>(h);
  // A device or a pipe opened under a file's name (COM1.ci.Veilbox) is
  // not read: reading it could wait for ever.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    *error = kErrorBadFileType;
    return false;
  }
  LARGE_INTEGER file_size;
  if (!GetFileSizeEx(h, &file_size)) {
    *error = GetLastError();
    return false;
  }
  if (file_size.QuadPart < 0) {
    *error = kErrorNotEnoughMemory;
    return false;
  }
  *size = static_cast<std::uint64_t>(file_size.QuadPart);
  return true;
}

// Windows gives large pages only to a program with the right to lock pages.
void detail::PrepareLargeBuffer(char*, std::size_t) {}

std::uint32_t detail::LastReadError() { return GetLastError(); }

std::uint32_t FileAttributes(const std::string& path) { return ::GetFileAttributesA(path.c_str()); }

bool SetAttributes(const std::string& path, std::uint32_t attributes) {
  return ::SetFileAttributesA(path.c_str(), attributes) != 0;
}

bool FileExists(const std::string& path) {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFile(const std::string& path, std::uint32_t* error) {
  if (RefusedByAttributes(path, FILE_ATTRIBUTE_READONLY, error)) return false;
  if (::DeleteFileA(path.c_str())) return true;
  if (error) *error = GetLastError();
  return false;
}

bool RenameReplace(const std::string& from, const std::string& to, std::uint32_t* error) {
  if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  if (error) *error = GetLastError();
  return false;
}

bool InspectEntry(const std::string& path, EntryInfo* info, std::uint32_t* error) {
  *info = EntryInfo{};
  const DWORD a = ::GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
    if (error) *error = code;
    return false;
  }
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
    info->kind = EntryKind::kLink;
    return true;
  }
  if (a & FILE_ATTRIBUTE_DIRECTORY) {
    info->kind = EntryKind::kDirectory;
    return true;
  }
  info->kind = EntryKind::kFile;
  info->attributes = a;
  info->links = 1;
  // Asking for the attributes alone opens even a file held without
  // sharing.
  HANDLE h = CreateFileA(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION data;
    if (GetFileInformationByHandle(h, &data)) info->links = data.nNumberOfLinks;
    if (GetFileType(h) != FILE_TYPE_DISK) info->kind = EntryKind::kOther;
    CloseHandle(h);
  }
  return true;
}

bool RenameNoReplace(const std::string& from, const std::string& to, std::uint32_t* error) {
  if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  if (error) *error = GetLastError();
  return false;
}

std::string NameOnDisk(const std::string& path) {
  const std::size_t sep = path.find_last_of("\\/");
  if (sep == std::string::npos || path.find_first_of("*?") != std::string::npos) return path;
  WIN32_FIND_DATAA data;
  HANDLE search = ::FindFirstFileA(path.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return path;
  ::FindClose(search);
  return path.substr(0, sep + 1) + data.cFileName;
}

bool MakeDirectory(const std::string& path, std::uint32_t* error) {
  if (::CreateDirectoryA(path.c_str(), nullptr)) return true;
  if (error) *error = GetLastError();
  return false;
}

bool FindFiles(const std::string& pattern, std::vector<std::string>* names, std::uint32_t* error) {
  names->clear();
  WIN32_FIND_DATAA data;
  HANDLE search = ::FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
    if (error) *error = code;
    return false;
  }
  do {
    names->emplace_back(data.cFileName);
  } while (::FindNextFileA(search, &data));
  const DWORD code = GetLastError();
  ::FindClose(search);
  if (code == ERROR_NO_MORE_FILES) return true;
  names->clear();
  if (error) *error = code;
  return false;
}

bool WindowsDirectory(std::string* dir, std::uint32_t* error) {
  // Asks for the length first, so a directory of any length fits.
  UINT needed = ::GetWindowsDirectoryA(nullptr, 0);
  if (needed == 0) {
    if (error) *error = GetLastError();
    return false;
  }
  std::string buffer(needed, '\0');
  UINT n = ::GetWindowsDirectoryA(buffer.data(), needed);
  if (n == 0 || n >= needed) {
    if (error) *error = n == 0 ? GetLastError() : ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  buffer.resize(n);
  *dir = std::move(buffer);
  return true;
}

std::string NativePath(const std::string& path) { return path; }

}  // namespace veilbox::platform
