#include "app/journal_temp_sweep.h"

#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/files.h"

namespace veilbox {
namespace {

constexpr std::string_view kPrefix = "compile-run-";
constexpr std::string_view kSuffix = ".journal.tmp";

// The writer's id in a temporary journal's name, if it holds one.
std::optional<std::uint32_t> WriterOf(std::string_view name) {
  if (name.size() <= kPrefix.size() + kSuffix.size()) return std::nullopt;
  std::string_view digits =
      name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
  // "<pid>-<16 hex digits>", or "<pid>" as earlier versions named it.
  if (const std::size_t dash = digits.find('-'); dash != std::string_view::npos) {
    if (digits.size() - dash - 1 != 16) return std::nullopt;
    digits = digits.substr(0, dash);
  }
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  std::uint64_t pid = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    pid = pid * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (pid > 0xFFFFFFFFu) return std::nullopt;
  return static_cast<std::uint32_t>(pid);
}

}  // namespace

std::vector<std::string> SweepJournalTemps(const std::string& dir,
                                           const platform::ProcessIdentity& self,
                                           const IsProcessRunning& is_running) {
  std::vector<std::string> swept;
  for (const std::string& name : platform::FindFiles(dir + "\\compile-run-*.journal.tmp")) {
    const std::string path = dir + "\\" + name;
    if (!platform::FileExists(path)) continue;  // a directory, or gone
    const std::optional<std::uint32_t> writer = WriterOf(name);
    // The start time is not in the name: any process of that id counts.
    if (writer && *writer != self.pid && is_running(platform::ProcessIdentity{*writer, 0}))
      continue;
    std::uint32_t error = 0;
    if (platform::RemoveFile(path, &error)) swept.push_back(path);
  }
  return swept;
}

}  // namespace veilbox
