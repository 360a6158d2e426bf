#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/test_support.h"

namespace veilbox::e2e {

// The program under test, and the tools beside it: the build's own, or those
// in VEILBOX_E2E_PROGRAM_DIR (the 32-bit programs driven by the 64-bit test
// build where 32-bit programs run only under emulation).
std::string VeilboxPath() {
  const std::filesystem::path helper = veilbox::testing::HelperPath("fake-compiler");
  const std::string name = "veilbox" + helper.extension().string();
  if (const char* dir = std::getenv("VEILBOX_E2E_PROGRAM_DIR"); dir != nullptr && *dir != '\0') {
    return (std::filesystem::path(dir) / name).string();
  }
  return (helper.parent_path().parent_path() / name).string();
}

void Machine::WriteOutsideFile(const std::string& path, const std::string& bytes) {
  const std::filesystem::path native = platform::NativePath(path);
  std::filesystem::create_directories(native.parent_path());
  std::ofstream out(native, std::ios::binary | std::ios::trunc);
  out << bytes;
  outside_files_.push_back(native.string());
}

}  // namespace veilbox::e2e
