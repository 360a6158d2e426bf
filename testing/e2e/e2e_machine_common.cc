#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/test_support.h"

namespace veilbox::e2e {

std::string VeilboxPath() {
  const std::filesystem::path helper = veilbox::testing::HelperPath("fake-compiler");
  return (helper.parent_path().parent_path() / ("veilbox" + helper.extension().string())).string();
}

void Machine::WriteOutsideFile(const std::string& path, const std::string& bytes) {
  const std::filesystem::path native = platform::NativePath(path);
  std::filesystem::create_directories(native.parent_path());
  std::ofstream out(native, std::ios::binary | std::ios::trunc);
  out << bytes;
  outside_files_.push_back(native.string());
}

}  // namespace veilbox::e2e
