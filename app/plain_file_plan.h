// What stands at each plain file's name before the decryption loop, and
// so what the run does there: nothing stands there (the plain file is
// created), a hidden plain file left by a run that was cut short (it is
// replaced), someone's own entry (a file, a link, a file with a second
// name, a FIFO: it is set aside while the plain file stands there and put
// back afterwards), or something the run leaves exactly as it is and
// cannot write over (a read-only or system file, a directory).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "app/run_journal.h"

namespace veilbox {

class PlainFilePlan {
 public:
  // Looks at the plain file's name of every collected ProtectedFile.
  static PlainFilePlan Make(const std::vector<std::string>& collected);

  // Every name the run may write, with what stands there, for the journal.
  const std::vector<PlainFileEntry>& entries() const { return entries_; }
  // The entry of a plain file's name (as the pass builds it), or nullptr
  // when the run may not create it.
  const PlainFileEntry* Find(const std::string& plain_name) const;
  // The same, to record what the run learns as it goes (another set-aside
  // name, the plain file's stamp).
  PlainFileEntry* FindToChange(const std::string& plain_name);
  // Leaves a name out: the run will not write it after all.
  void Drop(const std::string& plain_name);

 private:
  std::vector<PlainFileEntry> entries_;
  std::map<std::string, std::size_t> index_;  // plain name -> entry
};

// What stands at a plain file's name, as the plan sees it.
enum class NameHolder { kNothing, kLeftover, kSomeonesEntry, kUntouchable };
NameHolder LookAtPlainFileName(const std::string& name);

}  // namespace veilbox
