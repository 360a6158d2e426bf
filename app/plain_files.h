// The plain files of a run: decrypting the collected ProtectedFiles into
// them before the compile and deleting them again after it.
#pragma once

#include <chrono>
#include <functional>
#include <cstddef>
#include <utility>
#include <string>
#include <vector>

#include "app/run_journal.h"
#include "app/run_ui.h"

namespace veilbox {

// How long the clean-up keeps trying to remove a plain file that is held
// open (a virus scanner, a child of the compiler) before it gives up.
inline constexpr std::chrono::milliseconds kCleanupPatience{2000};

// What the clean-up left: plain files it could not remove, and names
// whose own entry it could not put back (still under its set-aside name).
struct CleanUpLeft {
  std::vector<std::string> not_removed;
  // Set-aside entries kept in the journal, which the next run puts back:
  // "NAME" (set aside as "ASIDE").
  std::vector<std::string> not_put_back;
  // Names whose set-aside entry was found replaced by another entry: both
  // are left where they are.
  std::vector<std::string> left_beside;
  // The names removed, and put back what was set aside from them: nothing
  // of the run's is left there. Sorted.
  std::vector<std::string> settled;
  bool empty() const { return not_removed.empty() && not_put_back.empty() && left_beside.empty(); }
};

// The plain files that the decryption loop wrote in this run, and the
// entries it set aside from their names. Whatever is still listed when the
// object goes away is cleaned up then, so that no plain file outlives the
// run, however it ends.
class WrittenPlainFiles {
 public:
  WrittenPlainFiles() = default;
  ~WrittenPlainFiles();
  WrittenPlainFiles(const WrittenPlainFiles&) = delete;
  WrittenPlainFiles& operator=(const WrittenPlainFiles&) = delete;

  // Notes a plain file written (at entry.name), with what was set aside
  // from its name.
  void Add(const PlainFileEntry& entry);
  // Removes every listed plain file (attributes cleared; tried again for
  // up to kCleanupPatience while held), handed out in the order they were
  // written to `workers` threads (RunOrderedPass), and puts back what was
  // set aside from its name once the name is free. Returns what it could
  // not remove or put back, in the order written; those are forgotten
  // here and left to the run journal, which keeps them for the next run.
  CleanUpLeft DeleteAll(unsigned workers = 1);
  // The plain files' names, in the order written.
  const std::vector<std::string>& names() const { return names_; }

 private:
  // Each name once; the entries set aside, few, by their position in
  // names_, in that order.
  std::vector<std::string> names_;
  std::vector<std::pair<std::size_t, PlainFileEntry>> set_aside_;
  // The entry set aside for the plain file at position at, if any.
  const PlainFileEntry* SetAsideAt(std::size_t at) const;
};

// Records the plain files the run may write before the first is written;
// false with the reason when it cannot.
using RecordPlainFiles =
    std::function<bool(const std::vector<PlainFileEntry>& plain_files, std::string* err)>;

// The decryption loop. First looks at every plain file's name and records
// them all with what stands there (record); when that fails, returns
// false with its reason and writes nothing. Then decrypts each collected
// name on `workers` threads (RunOrderedPass), noting each plain file it
// writes; a name whose plain file is already listed in written (the same
// name without regard to letter case) is skipped. Someone's entry at
// a plain file's name is set aside just before the plain file is created.
// A ProtectedFile that cannot be decrypted (a malformed cipher line, a
// plain file that cannot be created: a read-only or system file or a
// directory at its name, an entry that cannot be set aside) cleans up what
// was written so far, shows "Unable to decrypt " + its name + ": " + the
// error's text and ends the run with 251. A ProtectedFile that cannot be
// read (after a short wait while another program holds it) ends it the
// same way. When several fail, the first in the collected order decides,
// whatever the number of workers.
bool DecryptCollected(RunUi& ui, const std::vector<std::string>& collected,
                      WrittenPlainFiles& written, const RecordPlainFiles& record, std::string* err,
                      unsigned workers = 1);

}  // namespace veilbox
