#include "app/plain_file_plan.h"

#include <exception>
#include <string_view>
#include <unordered_set>

#include "app/plain_file_proof.h"
#include "app/plain_files.h"
#include "platform/files.h"
#include "protect/protected_file_name.h"
#include "sysutil/ordered_parallel_pass.h"

namespace veilbox {

NameHolder LookAtPlainFileName(const std::string& name) {
  platform::EntryInfo info;
  std::uint32_t error = 0;
  if (!platform::InspectEntry(name, &info, &error)) return NameHolder::kUntouchable;
  switch (info.kind) {
    case platform::EntryKind::kMissing:
      return NameHolder::kNothing;
    case platform::EntryKind::kDirectory:
      return NameHolder::kUntouchable;
    case platform::EntryKind::kLink:
    case platform::EntryKind::kOther:
      return NameHolder::kSomeonesEntry;
    case platform::EntryKind::kFile:
      break;
  }
  if (info.attributes & (platform::kAttrReadOnly | platform::kAttrSystem))
    return NameHolder::kUntouchable;
  // A file with a second name is someone's, hidden or not: deleting this
  // name would leave the other one holding whatever it holds.
  // Hidden alone proves nothing: a person's hidden file is theirs. Only
  // the plain text of its ProtectedFile, whole or cut short, is a leftover.
  switch (ProvePlainFile(name)) {
    case PlainFileProof::kRuns:
      return NameHolder::kLeftover;
    case PlainFileProof::kNotRuns:
      return NameHolder::kSomeonesEntry;
    case PlainFileProof::kUnknown:
      break;
  }
  return NameHolder::kUntouchable;
}

std::vector<std::size_t> DirectoryRunStarts(
    std::size_t count, const std::function<const std::string&(std::size_t)>& name_at) {
  std::vector<std::size_t> starts;
  std::string_view run_dir;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& name = name_at(i);
    const std::size_t slash = name.find_last_of("\\/");
    const std::string_view dir =
        std::string_view(name).substr(0, slash == std::string::npos ? 0 : slash);
    if (i == 0 || dir != run_dir) starts.push_back(i);
    run_dir = dir;
  }
  return starts;
}

PlainFilePlan PlainFilePlan::Make(const std::vector<std::string>& collected, unsigned workers) {
  PlainFilePlan plan;
  plan.entries_.reserve(collected.size());
  plan.entry_of_.assign(collected.size(), kNoEntry);
  // The first collected name of each plain file, in the collected order;
  // the plain names seen are views into the collected names.
  std::vector<std::size_t> firsts;
  firsts.reserve(collected.size());
  {
    std::unordered_set<std::string_view> seen;
    seen.reserve(collected.size());
    for (std::size_t at = 0; at < collected.size(); ++at) {
      const std::string& entry = collected[at];
      const std::size_t plain_size = PlainFileName(entry).size();
      if (seen.insert(std::string_view(entry).substr(0, plain_size)).second)
        firsts.push_back(at);
      else
        plan.entry_of_[at] = kRepeat;
    }
  }
  // The looks are independent of each other: they share the workers. What
  // the first to fail raised goes to the caller, as from a plain loop.
  std::vector<NameHolder> holders(firsts.size(), NameHolder::kUntouchable);
  const PassOutcome looked = RunOrderedPassInRuns(
      DirectoryRunStarts(firsts.size(),
                         [&](std::size_t k) -> const std::string& { return collected[firsts[k]]; }),
      firsts.size(), workers, [&](std::size_t k) {
        holders[k] = LookAtPlainFileName(PlainFileName(collected[firsts[k]]));
      });
  if (looked.error) std::rethrow_exception(looked.error);

  for (std::size_t k = 0; k < firsts.size(); ++k) {
    const std::size_t at = firsts[k];
    const std::string plain = PlainFileName(collected[at]);
    PlainFileEntry planned{plain, PlainFileKind::kNew};
    switch (holders[k]) {
      case NameHolder::kNothing:
        break;
      case NameHolder::kLeftover:
        planned.kind = PlainFileKind::kLeftover;
        break;
      case NameHolder::kSomeonesEntry: {
        // Its own letter case, so that it comes back under its own name;
        // its stamp, so that only this entry comes back.
        planned = {platform::NameOnDisk(plain), PlainFileKind::kAside};
        planned.aside = SetAsideName(planned.name, RandomAsideSuffix());
        platform::EntryStamp stamp;
        std::uint32_t error = 0;
        if (!platform::StampOf(planned.name, &stamp, &error)) continue;  // cannot be told apart
        planned.aside_stamp = stamp;
        break;
      }
      case NameHolder::kUntouchable:
        continue;
    }
    plan.entry_of_[at] = static_cast<std::uint32_t>(plan.entries_.size());
    plan.entries_.push_back(std::move(planned));
  }
  return plan;
}

const PlainFileEntry* PlainFilePlan::Find(std::size_t at) const {
  const std::uint32_t entry = entry_of_[at];
  return entry < entries_.size() ? &entries_[entry] : nullptr;
}

PlainFileEntry* PlainFilePlan::FindToChange(std::size_t at) {
  const std::uint32_t entry = entry_of_[at];
  return entry < entries_.size() ? &entries_[entry] : nullptr;
}

void PlainFilePlan::Drop(std::size_t at) {
  const std::uint32_t dropped = entry_of_[at];
  if (dropped >= entries_.size()) return;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(dropped));
  for (std::uint32_t& entry : entry_of_) {
    if (entry == dropped)
      entry = kNoEntry;
    else if (entry > dropped && entry < kRepeat)
      --entry;
  }
}

}  // namespace veilbox
