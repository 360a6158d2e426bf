#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

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

}  // namespace veilbox::e2e
