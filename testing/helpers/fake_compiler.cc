// Stands in for Citect's project compiler. It records, in the file named
// by VEILBOX_FAKE_RECORD: each argument it was given ("arg"), its current
// directory ("cwd"), every plain file below VEILBOX_FAKE_ROOT (files other
// than *.Veilbox, *.dbf, *.ini and the run's directory locks) with its content and whether it is
// hidden ("plain" relative-path, "content", "hidden"), and the value of
// [CTEDIT] COMPILEOKMESSAGE in the settings file VEILBOX_FAKE_INI
// ("compileok", default Citect.ini). Entries that a run set aside from a
// plain file's name (*.~vb and 16 hex digits, or 4 as earlier versions
// named them) are not sources and are left
// out. With VEILBOX_FAKE_READONLY it marks that file read-only (and
// hidden), as some compilers do with what they read; with
// VEILBOX_FAKE_WAIT_FOR it waits up to 10 seconds for that file to exist
// before it ends. Then it exits with VEILBOX_FAKE_EXIT.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/dir_lock.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "sysutil/text_utils.h"
#include "testing/record_text.h"

namespace {

std::string Env(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value && *value ? value : fallback;
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         veilbox::UpperAscii(text.substr(text.size() - tail.size())) == veilbox::UpperAscii(tail);
}

}  // namespace

int main(int argc, char** argv) {
  using veilbox::testing::EscapeRecordValue;
  std::string out;
  for (int i = 1; i < argc; ++i) out += "arg " + EscapeRecordValue(argv[i]) + "\n";
  out += "cwd " + EscapeRecordValue(std::filesystem::current_path().string()) + "\n";

  const std::string root = Env("VEILBOX_FAKE_ROOT", "");
  if (!root.empty()) {
    std::vector<std::string> lines;
    const std::filesystem::path native_root = veilbox::platform::NativePath(root);
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(native_root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (!it->is_regular_file()) continue;
      const std::string name = it->path().filename().string();
      const bool set_aside = (name.size() > 8 && name.compare(name.size() - 8, 4, ".~vb") == 0) ||
                             (name.size() > 20 && name.compare(name.size() - 20, 4, ".~vb") == 0);
      if (EndsWithNoCase(name, ".Veilbox") || EndsWithNoCase(name, ".dbf") ||
          EndsWithNoCase(name, ".ini") || set_aside || name == veilbox::platform::kDirLockName) {
        continue;
      }
      std::string relative = std::filesystem::relative(it->path(), native_root).string();
      std::replace(relative.begin(), relative.end(), '/', '\\');
      std::ifstream in(it->path(), std::ios::binary);
      const std::string content((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
      const std::uint32_t attributes = veilbox::platform::FileAttributes(it->path().string());
      const bool hidden = attributes != veilbox::platform::kInvalidAttributes &&
                          (attributes & veilbox::platform::kAttrHidden);
      lines.push_back("plain " + EscapeRecordValue(relative) + "\ncontent " +
                      EscapeRecordValue(content) + "\nhidden " + (hidden ? "1" : "0") + "\n");
    }
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines) out += line;
  }

  out += "compileok " +
         EscapeRecordValue(veilbox::platform::GetProfileValue(
             "CTEDIT", "COMPILEOKMESSAGE", "(missing)", Env("VEILBOX_FAKE_INI", "Citect.ini"))) +
         "\n";

  if (const std::string name = Env("VEILBOX_FAKE_READONLY", ""); !name.empty()) {
    veilbox::platform::SetAttributes(
        name, veilbox::platform::kAttrReadOnly | veilbox::platform::kAttrHidden);
  }
  if (const std::string name = Env("VEILBOX_FAKE_WAIT_FOR", ""); !name.empty()) {
    for (int i = 0; i < 1000 && !veilbox::platform::FileExists(name); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  const std::string record = Env("VEILBOX_FAKE_RECORD", "");
  if (!record.empty()) {
    std::ofstream file(veilbox::platform::NativePath(record), std::ios::binary | std::ios::trunc);
    file << out;
  }
  return std::atoi(Env("VEILBOX_FAKE_EXIT", "0").c_str());
}
