#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/files.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/record_text.h"
#include "testing/test_support.h"

namespace veilbox::e2e {
namespace {

// Runs a command line and waits for it; its exit code.
DWORD RunAndWaitFor(std::string command_line) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &si, &pi)) {
    return 0xFFFFFFFF;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::filesystem::path TempDir() {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "veilbox-e2e";
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace

struct Machine::Impl {};

Machine::Machine(const std::string& root) : root_(root), impl_(std::make_unique<Impl>()) {
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
  std::filesystem::create_directories(root_);
  RunAndWaitFor("reg delete HKLM\\Software\\Talvoren /f /reg:32");
  RunAndWaitFor("reg delete HKLM\\Software\\Talvoren /f /reg:64");
  RunAndWaitFor("reg delete HKCU\\Software\\Talvoren /f");
}

Machine::~Machine() {
  std::error_code ec;
  for (const std::string& file : outside_files_) {
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove(file, ec);
  }
  for (auto it = std::filesystem::recursive_directory_iterator(root_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    SetFileAttributesA(it->path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  std::filesystem::remove_all(root_, ec);
}

void Machine::ImportRegistry(const std::string& reg_text, RegView view) {
  const std::string file = (TempDir() / "scenario.reg").string();
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << reg_text;
  }
  // Veilbox is a 32-bit program: its own view is the 32-bit one.
  const char* option = view == RegView::k64 ? " /reg:64" : " /reg:32";
  const DWORD rc = RunAndWaitFor("reg import " + Quoted(file) + option);
  if (rc != 0) ADD_FAILURE() << "reg import" << option << " ended with " << rc;
}

std::string Machine::WindowsDir() const {
  std::string dir;
  std::uint32_t error = 0;
  platform::WindowsDirectory(&dir, &error);
  return dir;
}

void Machine::SetEnv(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}

int Machine::RunTool(const std::string& name, const std::vector<std::string>& args,
                     std::string* out) {
  const std::filesystem::path program =
      std::filesystem::path(VeilboxPath()).parent_path() / std::string(name).append(".exe");
  std::string command = Quoted(program.string());
  for (const std::string& arg : args) command.append(" ").append(Quoted(arg));
  const std::string out_path = (TempDir() / std::string(name).append(".stdout")).string();
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE file = CreateFileA(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -1;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = file;
  si.hStdError = file;
  si.hStdInput = nullptr;
  PROCESS_INFORMATION pi = {};
  DWORD code = 0xFFFFFFFF;
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                     nullptr, &si, &pi)) {
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  CloseHandle(file);
  std::ifstream in(out_path, std::ios::binary);
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return static_cast<int>(code);
}

RunResult Machine::RunVeilbox(const std::vector<std::string>& args) {
  // The runtime's own parser takes a double-quoted stretch whole and
  // knows no escapes: quote what holds a blank.
  std::string command = Quoted(VeilboxPath());
  for (const std::string& arg : args) {
    command += " ";
    command += arg.find_first_of(" \t") == std::string::npos ? arg : Quoted(arg);
  }
  const std::filesystem::path dir = TempDir();
  const std::string command_file = (dir / "command.txt").string();
  const std::string record_file = (dir / "boxes.txt").string();
  {
    std::ofstream out(command_file, std::ios::binary | std::ios::trunc);
    out << command;
  }
  std::filesystem::remove(record_file);
  RunAndWaitFor(Quoted(veilbox::testing::HelperPath("box-watcher")) + " " + Quoted(record_file) +
                " " + Quoted(command_file));

  RunResult result;
  std::ifstream in(record_file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  Box box;
  for (const auto& [key, value] : veilbox::testing::ParseRecords(text.str())) {
    if (key == "box") {
      box = {value, ""};
    } else if (key == "text") {
      box.text = value;
      result.boxes.push_back(box);
    } else if (key == "icon") {
      // The error dialog carries the error icon, the plain box none.
      if ((value == "1") != (box.caption == "Error")) {
        result.problems.push_back("icon " + value + " on the box \"" + box.text + "\"");
      }
    } else if (key == "exit") {
      result.exit_code = static_cast<int>(std::stoul(value));
    } else {
      result.problems.push_back(key + " " + value);
    }
  }
  return result;
}

namespace {

// Wine's mount manager defines its drives as links in the prefix's
// dosdevices directory (IOCTL_MOUNTMGR_DEFINE_UNIX_DRIVE, a Wine
// extension of the mount manager, with its input as Wine lays it out).
constexpr DWORD kDefineUnixDrive =
    CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

struct UnixDrive {
  ULONG size;
  ULONG type;
  ULONG fs_type;
  DWORD serial;
  ULONGLONG unix_dev;
  WCHAR letter;
  USHORT mount_point_offset;
  USHORT device_offset;
  USHORT label_offset;
};

using UnixFileName = char*(__cdecl*)(const WCHAR*);

// Wine's name of a Windows path on its host; nothing outside Wine.
std::optional<std::string> HostPath(const std::string& windows_path) {
  const HMODULE kernel = GetModuleHandleA("kernel32.dll");
  const auto unix_name = reinterpret_cast<UnixFileName>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
  if (!unix_name) return std::nullopt;
  const std::wstring wide(windows_path.begin(), windows_path.end());
  char* name = unix_name(wide.c_str());
  if (!name) return std::string();
  std::string path = name;
  HeapFree(GetProcessHeap(), 0, name);
  return path;
}

// Asks Wine's mount manager to define the letter at the host's directory,
// or, without one, to take it away.
bool DefineUnixDrive(char letter, const std::string& host_dir, std::string* err) {
  std::vector<char> input(sizeof(UnixDrive) + host_dir.size() + 1, 0);
  UnixDrive drive{};
  drive.size = static_cast<ULONG>(input.size());
  drive.type = host_dir.empty() ? DRIVE_NO_ROOT_DIR : DRIVE_FIXED;
  drive.letter = static_cast<WCHAR>(letter | 0x20);
  if (!host_dir.empty()) {
    drive.mount_point_offset = sizeof(UnixDrive);
    std::copy(host_dir.begin(), host_dir.end(), input.begin() + sizeof(UnixDrive));
  }
  std::copy_n(reinterpret_cast<const char*>(&drive), sizeof drive, input.begin());
  HANDLE manager =
      CreateFileA("\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (manager == INVALID_HANDLE_VALUE) {
    *err = "cannot open the mount manager: error " + std::to_string(GetLastError());
    return false;
  }
  DWORD returned = 0;
  const bool ok = DeviceIoControl(manager, kDefineUnixDrive, input.data(),
                                  static_cast<DWORD>(input.size()), nullptr, 0, &returned, nullptr);
  if (!ok) *err = "the mount manager refused: error " + std::to_string(GetLastError());
  CloseHandle(manager);
  return ok;
}

std::string Device(char letter) { return std::string(1, letter) + ":"; }

}  // namespace

bool MakeDriveLetter(char letter, const std::string& windows_dir, std::string* err) {
  if (GetDriveTypeA((Device(letter) + "\\").c_str()) != DRIVE_NO_ROOT_DIR) {
    *err = Device(letter) + " is taken";
    return false;
  }
  const std::optional<std::string> host = HostPath(windows_dir);
  bool made = false;
  if (!host) {
    made = DefineDosDeviceA(0, Device(letter).c_str(), windows_dir.c_str()) != 0;
    if (!made)
      *err = "cannot define " + Device(letter) + ": error " + std::to_string(GetLastError());
  } else if (host->empty()) {
    *err = "Wine has no host name for " + windows_dir;
  } else {
    made = DefineUnixDrive(letter, *host, err);
  }
  if (made && GetFileAttributesA((Device(letter) + "\\").c_str()) == INVALID_FILE_ATTRIBUTES) {
    *err = Device(letter) + " was defined but does not lead to " + windows_dir;
    RemoveDriveLetter(letter);
    return false;
  }
  return made;
}

void RemoveDriveLetter(char letter) {
  std::string err;
  if (HostPath("C:\\"))
    DefineUnixDrive(letter, {}, &err);
  else
    DefineDosDeviceA(DDD_REMOVE_DEFINITION, Device(letter).c_str(), nullptr);
}

}  // namespace veilbox::e2e
