#include "platform/dir_lock.h"

#include <string>

#include "platform/files.h"

namespace veilbox::platform {

std::string DirLock::Holder(const std::string& dir) {
  std::string path = dir;
  if (path.empty() || path.back() != '\\') path += '\\';
  path += kDirLockName;
  EntryInfo info;
  std::uint32_t error = 0;
  if (!InspectEntry(path, &info, &error)) return "cannot be told: " + path;
  if (info.kind == EntryKind::kMissing) return {};
  if (info.kind != EntryKind::kFile || info.links != 1) return NotOurs(dir);
  std::string text;
  if (!ReadWholeFile(path, Share::kReadWrite, &text, &error))
    return "a run holds it (" + path + ")";
  const std::string first = std::string(kDirLockFirstLine) + "\n";
  if (text.empty()) return "a run holds it, or left it (" + path + ")";
  if (text.compare(0, first.size(), first) != 0) return NotOurs(dir);
  std::string pid = text.substr(first.size());
  while (!pid.empty() && (pid.back() == '\n' || pid.back() == '\r')) pid.pop_back();
  return "process " + pid + ", or a run of it that died (" + path + ")";
}

}  // namespace veilbox::platform
