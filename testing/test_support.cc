#include "testing/test_support.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace veilbox::testing {
namespace {

std::filesystem::path& BinaryDir() {
  static std::filesystem::path dir;
  return dir;
}

void SetEnv(const char* name, const std::string* value) {
#ifdef _WIN32
  _putenv_s(name, value ? value->c_str() : "");
#else
  if (value)
    setenv(name, value->c_str(), 1);
  else
    unsetenv(name);
#endif
}

}  // namespace

ScratchDir::ScratchDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  std::ostringstream name;
  name << "veilbox-test-" << rd() << "-" << counter++;
  path_ = std::filesystem::temp_directory_path() / name.str();
  std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Hidden or read-only files must not keep the directory alive.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

std::string ScratchDir::Write(const std::string& relative, const std::string& bytes) const {
  std::filesystem::path full = path_ / relative;
  std::filesystem::create_directories(full.parent_path());
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return full.string();
}

std::string HelperPath(const std::string& name) {
#ifdef _WIN32
  return (BinaryDir() / (name + ".exe")).string();
#else
  return (BinaryDir() / name).string();
#endif
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

PrefixOverride::PrefixOverride(const std::string& dir) {
  if (const char* old = std::getenv("VEILBOX_PREFIX")) {
    had_old_ = true;
    old_ = old;
  }
  SetEnv("VEILBOX_PREFIX", &dir);
}

PrefixOverride::~PrefixOverride() { SetEnv("VEILBOX_PREFIX", had_old_ ? &old_ : nullptr); }

namespace internal {
void SetTestBinaryPath(const char* argv0) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(argv0, ec);
  BinaryDir() = p.parent_path();
}
}  // namespace internal

}  // namespace veilbox::testing
