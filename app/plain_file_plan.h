// What stands at each plain file's name before the decryption loop, and
// so what the run does there: nothing stands there (the plain file is
// created), a hidden plain file left by a run that was cut short (it is
// replaced), someone's own entry (a file, a link, a file with a second
// name, a FIFO: it is set aside while the plain file stands there and put
// back afterwards), or something the run leaves exactly as it is and
// cannot write over (a read-only or system file, a directory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/run_journal.h"

namespace veilbox {

// The plan keeps every entry once, by the position of its ProtectedFile in
// the collected list: no name is kept twice for a look-up.
class PlainFilePlan {
 public:
  // Looks at the plain file's name of every collected ProtectedFile, on
  // `workers` threads.
  static PlainFilePlan Make(const std::vector<std::string>& collected, unsigned workers = 1);

  // Every name the run may write, with what stands there, for the journal.
  const std::vector<PlainFileEntry>& entries() const { return entries_; }
  // Whether an earlier collected name names the same plain file as the
  // one at position `at`: the plain file is written for the first only.
  bool Repeats(std::size_t at) const { return entry_of_[at] == kRepeat; }
  // The entry of the plain file of the collected name at `at` (the first
  // to name it), or nullptr when the run may not create it.
  const PlainFileEntry* Find(std::size_t at) const;
  // The same, to record what the run learns as it goes (another set-aside
  // name, the plain file's stamp).
  PlainFileEntry* FindToChange(std::size_t at);
  // Leaves a name out: the run will not write it after all.
  void Drop(std::size_t at);

 private:
  static constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;
  static constexpr std::uint32_t kRepeat = 0xFFFFFFFEu;
  std::vector<PlainFileEntry> entries_;
  // Collected position -> its entry; kNoEntry or kRepeat.
  std::vector<std::uint32_t> entry_of_;
};

// The first index of each run of neighbouring names (name_at(0) to
// name_at(count - 1)) that lie in one directory, as spelled: workers that
// take whole runs (RunOrderedPassInRuns) change different directories
// side by side, not one directory by turns.
std::vector<std::size_t> DirectoryRunStarts(
    std::size_t count, const std::function<const std::string&(std::size_t)>& name_at);

// What stands at a plain file's name, as the plan sees it.
enum class NameHolder { kNothing, kLeftover, kSomeonesEntry, kUntouchable };
NameHolder LookAtPlainFileName(const std::string& name);

}  // namespace veilbox
