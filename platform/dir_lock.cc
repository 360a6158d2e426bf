#include "platform/dir_lock.h"

#include <string>

#include "platform/files.h"
#include "platform/process_identity.h"

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
  // Windows: a held file cannot be read (*text stays empty).
  std::string text;
  const HeldNow held = IsHeldNow(path, &text);
  if (held == HeldNow::kUnknown) return "cannot be told: " + path;
  const std::string first = std::string(kDirLockFirstLine) + "\n";
  // Its beginning only: a holder may be writing it right now.
  const bool ours = text.size() < first.size() ? first.compare(0, text.size(), text) == 0
                                               : text.compare(0, first.size(), first) == 0;
  if (!ours) return NotOurs(dir);
  // Nobody holds it: a run that died left it, and the next run takes it
  // over.
  if (held == HeldNow::kNo) return {};
  const std::string holds = " holds it (" + path + ")";
  if (text.size() <= first.size()) return "a run" + holds;
  std::string pid = text.substr(first.size());
  while (!pid.empty() && (pid.back() == '\n' || pid.back() == '\r')) pid.pop_back();
  if (pid.empty() || pid.size() > 10 || pid.find_first_not_of("0123456789") != std::string::npos)
    return "a run" + holds;
  const unsigned long long id = std::stoull(pid);
  // The id is this machine's; a holder elsewhere (a file share) is a run.
  if (id > 0xFFFFFFFFull || !ProcessIsRunning({static_cast<std::uint32_t>(id), 0}))
    return "a run" + holds;
  return "process " + pid + holds;
}

}  // namespace veilbox::platform
