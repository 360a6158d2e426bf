#include <unistd.h>

#include "platform/files.h"
#include "platform/ini_text.h"
#include "platform/profile.h"

namespace veilbox::platform {
namespace {

// A bare file name lies in the Windows directory; any other name is taken
// as it stands.
std::string ResolveProfile(const std::string& file_name) {
  if (file_name.find_first_of("\\/") != std::string::npos) return file_name;
  std::string windows_dir;
  std::uint32_t error = 0;
  if (!GetWindowsDirectory(&windows_dir, &error)) return file_name;
  if (windows_dir.empty() || windows_dir.back() != '\\') windows_dir += '\\';
  return windows_dir + file_name;
}

std::string TrimTrailingBlanks(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::string GetProfileValue(const std::string& section, const std::string& key,
                            const std::string& default_value, const std::string& file_name) {
  std::string text;
  std::uint32_t error = 0;
  std::string value;
  if (ReadWholeFile(ResolveProfile(file_name), Share::kReadWrite, &text, &error) &&
      IniFindValue(text, section, key, &value)) {
    return value;
  }
  return TrimTrailingBlanks(default_value);
}

bool SetProfileValue(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file_name) {
  const std::string path = ResolveProfile(file_name);
  std::string text;
  std::uint32_t error = 0;
  if (!ReadWholeFile(path, Share::kReadWrite, &text, &error)) {
    if (error != kErrorFileNotFound) return false;
    text.clear();
  }
  std::string edited;
  if (!IniSetValue(text, section, key, value, &edited)) return false;

  // Written beside the file and renamed over it, so that a reader sees
  // either the old or the new text and never a part of it.
  const std::string temp = path + ".~" + std::to_string(getpid());
  File file;
  if (!File::CreateAlways(temp, &file, &error)) return false;
  const bool written = file.Append(edited.data(), edited.size()) && file.Sync();
  file.Close();
  if (!written || !RenameReplace(temp, path, &error)) {
    DeleteFile(temp, &error);
    return false;
  }
  return true;
}

}  // namespace veilbox::platform
