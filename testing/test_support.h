// Shared helpers for the unit tests: scratch directories and the helper
// programs built beside the test binary.
#pragma once

#include <filesystem>
#include <string>

namespace veilbox::testing {

// A fresh, empty directory that is removed with everything in it when the
// object goes away.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The directory as a text with the platform's separator, no trailing one.
  std::string str() const { return path_.string(); }
  // Writes a file below the directory (binary, exactly these bytes) and
  // returns its full name.
  std::string Write(const std::string& relative, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

// Full name of a helper program built beside the test binary
// (testing/helpers), with ".exe" on Windows.
std::string HelperPath(const std::string& name);

// Reads a whole file in binary; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);

// Sets the directory that stands in for the Windows machine in the POSIX
// build (the VEILBOX_PREFIX variable) for the life of the object, and
// restores the previous value afterwards. A no-op on Windows.
class PrefixOverride {
 public:
  explicit PrefixOverride(const std::string& dir);
  ~PrefixOverride();
  PrefixOverride(const PrefixOverride&) = delete;
  PrefixOverride& operator=(const PrefixOverride&) = delete;

 private:
  bool had_old_ = false;
  std::string old_;
};

namespace internal {
void SetTestBinaryPath(const char* argv0);
}

}  // namespace veilbox::testing
