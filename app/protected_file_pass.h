// The protected file pass: collecting the ProtectedFiles of a project and
// of everything it includes, decrypting them into their plain files before
// the compile and deleting those again after it.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "app/master_index.h"
#include "app/run_ui.h"

namespace veilbox {

// The extension of a ProtectedFile; its plain file's name is the
// ProtectedFile's name without these 8 characters.
inline constexpr char kProtectedExtension[] = ".Veilbox";

// The directories walked so far in one run, as their upper-cased names
// with a trailing backslash: a directory reached again (an include cycle,
// or a project included along two paths) is not walked twice.
using WalkedDirectories = std::set<std::string>;

// Appends to list the full, upper-cased names of the ProtectedFiles in dir
// and, when follow_includes is set, of the projects named in dir's
// Include.dbf (looked up in MasterPath's master.dbf, through master_index,
// which the first lookup of the run loads), depth first. Shows
// "Unable to find include ..." and stops this level's walk for an include
// that is not in the master table; a table that cannot be opened shows its
// message and ends the run with 249 (RunEnded). depth is the number of
// include levels above dir; an include table deeper than kMaxIncludeDepth
// levels ends the run like one that cannot be opened.
inline constexpr int kMaxIncludeDepth = 400;
void CollectProtectedFiles(RunUi& ui, const std::string& dir, bool follow_includes,
                           std::vector<std::string>& list, WalkedDirectories& walked,
                           MasterIndex& master_index, int depth = 0);

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

// The plain file's name of a ProtectedFile's name.
std::string PlainFileName(const std::string& protected_name);

// The decryption loop: DecryptProtectedFile for each collected name, on
// `workers` threads (RunOrderedPass), noting each plain file it writes. A
// name whose plain file this run already wrote is skipped. When a
// ProtectedFile cannot be decrypted (it cannot be read, a malformed cipher
// line, a plain file that cannot be created), the first such one in the
// collected order decides, whatever the number of workers: the plain files
// written so far are deleted, "Unable to decrypt " + its name + ": " + the
// error's text is shown and the run ends with 251.
void DecryptCollected(RunUi& ui, const std::vector<std::string>& collected,
                      WrittenPlainFiles& written, unsigned workers = 1);

}  // namespace veilbox
