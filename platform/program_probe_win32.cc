#include <windows.h>

#include <memory>

#include "platform/program_probe.h"

namespace veilbox::platform {
namespace {

struct HandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

#if defined(_M_X64) || defined(__x86_64__)
constexpr WORD kThisMachine = IMAGE_FILE_MACHINE_AMD64;
#else
constexpr WORD kThisMachine = IMAGE_FILE_MACHINE_I386;
#endif

bool ReadAt(HANDLE file, LONG offset, void* to, DWORD size) {
  DWORD got = 0;
  return SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
         ReadFile(file, to, size, &got, nullptr) && got == size;
}

// An image CreateProcess starts on this machine: MZ, then a PE header for
// this machine's processor (or for x86, which WOW64 runs).
bool ImageForThisMachine(HANDLE file) {
  IMAGE_DOS_HEADER dos{};
  if (!ReadAt(file, 0, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
      dos.e_lfanew <= 0)
    return false;
  DWORD signature = 0;
  IMAGE_FILE_HEADER header{};
  if (!ReadAt(file, dos.e_lfanew, &signature, sizeof signature) ||
      signature != IMAGE_NT_SIGNATURE ||
      !ReadAt(file, dos.e_lfanew + static_cast<LONG>(sizeof signature), &header, sizeof header))
    return false;
  if (!(header.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE) ||
      (header.Characteristics & IMAGE_FILE_DLL))
    return false;
  return header.Machine == kThisMachine || header.Machine == IMAGE_FILE_MACHINE_I386;
}

}  // namespace

bool CanStartProgram(const std::string& name, const std::string& dir) {
  if (!dir.empty()) {
    const DWORD attributes = GetFileAttributesA(dir.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return false;
  }
  // Opening for reading and executing asks the file's security what
  // CreateProcess asks it.
  OwnedHandle file(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_EXECUTE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    return false;
  }
  return ImageForThisMachine(file.get());
}

}  // namespace veilbox::platform
