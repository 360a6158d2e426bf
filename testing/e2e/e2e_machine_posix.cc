#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/files.h"
#include "standin/prefix.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/test_support.h"

namespace veilbox::e2e {

// A fresh prefix directory stands in for the machine: drive C: is its
// drive_c, the registry its registry.reg.
struct Machine::Impl {
  veilbox::testing::ScratchDir prefix;
  veilbox::testing::PrefixOverride override_prefix{prefix.str()};
  std::string registry;  // the sections imported so far
};

namespace {

// The .reg text without its first line (the format line), with the keys
// below HKEY_LOCAL_MACHINE\Software moved into the stand-in's 32-bit view.
std::string Sections(const std::string& reg_text, bool in_32_bit_view) {
  std::string text = reg_text.substr(std::min(reg_text.size(), reg_text.find('\n') + 1));
  if (!in_32_bit_view) return text;
  const std::string from = "[HKEY_LOCAL_MACHINE\\Software\\";
  const std::string to = from + "WOW6432Node\\";
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace

Machine::Machine(const std::string& root) : root_(root), impl_(std::make_unique<Impl>()) {
  std::filesystem::create_directories(platform::NativePath(root_));
}

Machine::~Machine() = default;

void Machine::ImportRegistry(const std::string& reg_text, RegView view) {
  // The stand-in program reads its own view as the 64-bit one: only an
  // explicit 32-bit view moves the keys.
  impl_->registry += Sections(reg_text, view == RegView::k32);
  std::ofstream out(impl_->prefix.path() / "registry.reg", std::ios::binary | std::ios::trunc);
  out << "Windows Registry Editor Version 5.00\r\n\r\n" << impl_->registry;
}

std::string Machine::WindowsDir() const {
  std::string dir;
  std::uint32_t error = 0;
  platform::WindowsDirectory(&dir, &error);
  std::filesystem::create_directories(dir);  // as every Windows machine has it
  return dir;
}

void Machine::SetEnv(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

namespace {

// Runs program with args, standard input from /dev/null and the standard
// stream `stream` (1 or 2) into the file at path; its exit code, 128 + the
// signal for a program killed by one.
int RunWithStreamToFile(const std::string& program, const std::vector<std::string>& args,
                        int stream, const std::string& path) {
  std::vector<std::string> argv_text = {program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, stream);
    const int null_fd = open("/dev/null", O_RDWR);
    dup2(null_fd, 0);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

int Machine::RunTool(const std::string& name, const std::vector<std::string>& args,
                     std::string* out) {
  const std::string program = (std::filesystem::path(VeilboxPath()).parent_path() / name).string();
  const std::string out_path = (impl_->prefix.path() / (name + ".stdout")).string();
  const int code = RunWithStreamToFile(program, args, 1, out_path);
  std::ifstream in(out_path, std::ios::binary);
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return code;
}

RunResult Machine::RunVeilbox(const std::vector<std::string>& args) {
  const std::string err_path = (impl_->prefix.path() / "veilbox.stderr").string();
  RunResult result;
  result.exit_code = RunWithStreamToFile(VeilboxPath(), args, 2, err_path);

  // Each message box is one line: caption, ": ", text. Lines with the
  // caption "Debug" are the debugger output: neither boxes nor stray.
  std::ifstream err(err_path, std::ios::binary);
  std::string line;
  while (std::getline(err, line)) {
    const std::size_t sep = line.find(": ");
    const std::string caption = sep == std::string::npos ? "" : line.substr(0, sep);
    if (caption == "Debug") continue;
    if (caption != "Veilbox" && caption != "Error") {
      result.problems.push_back("stray output: " + line);
      continue;
    }
    result.boxes.push_back({caption, line.substr(sep + 2)});
  }
  return result;
}

namespace {

std::string DriveLink(char letter) {
  const char lower =
      static_cast<char>(letter >= 'A' && letter <= 'Z' ? letter - 'A' + 'a' : letter);
  return standin::PrefixDir() + "/drive_" + lower;
}

}  // namespace

bool MakeDriveLetter(char letter, const std::string& windows_dir, std::string* err) {
  std::error_code ec;
  std::filesystem::create_symlink(platform::NativePath(windows_dir), DriveLink(letter), ec);
  if (ec) *err = ec.message();
  return !ec;
}

void RemoveDriveLetter(char letter) {
  std::error_code ec;
  std::filesystem::remove(DriveLink(letter), ec);
}

}  // namespace veilbox::e2e
