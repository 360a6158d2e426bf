// The plain files of a run: decrypting the collected ProtectedFiles into
// them before the compile and deleting them again after it.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "app/run_ui.h"

namespace veilbox {

// The plain files that the decryption loop wrote in this run. Whatever is
// still listed when the object goes away is deleted then, so that no
// plain file outlives the run, however it ends.
class WrittenPlainFiles {
 public:
  WrittenPlainFiles() = default;
  ~WrittenPlainFiles();
  WrittenPlainFiles(const WrittenPlainFiles&) = delete;
  WrittenPlainFiles& operator=(const WrittenPlainFiles&) = delete;

  bool Contains(const std::string& plain_name) const;
  void Add(const std::string& plain_name);
  // Deletes every listed file with DeleteFileChecked, in the order they
  // were written, and forgets them; failures are not reported.
  void DeleteAll();
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::vector<std::string> names_;  // in the order written
  std::set<std::string> lookup_;    // the same names, for Contains
};

// The decryption loop: DecryptProtectedFile for each collected name, in
// order, noting each plain file it writes. A name whose plain file this
// run already wrote is skipped. A ProtectedFile that cannot be decrypted
// (a malformed cipher line, a plain file that cannot be created) deletes
// the plain files written so far, shows "Unable to decrypt " + its name +
// ": " + the error's text and ends the run with 251.
void DecryptCollected(RunUi& ui, const std::vector<std::string>& collected,
                      WrittenPlainFiles& written);

}  // namespace veilbox
