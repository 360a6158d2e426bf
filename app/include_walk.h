// The include walk: the ProtectedFiles of a project's directory and, through
// its Include.dbf and the master table, of every project it includes,
// depth first.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "app/master_index.h"
#include "app/run_ui.h"
#include "platform/entry_identity.h"

namespace veilbox {

// What a walk reports as it goes, for a caller that shows the walk (the
// plan); the compile run passes none.
class IncludeWalkObserver {
 public:
  // dir (with its trailing backslash) is walked: list entries first to
  // first + count - 1 are its ProtectedFiles.
  virtual void OnDirectory(const std::string& dir, std::size_t first, std::size_t count) = 0;
  // An include record of the directory being walked that is not deleted:
  // the include's name, and its directory in the master table (null when
  // the master table does not hold it).
  virtual void OnInclude(const std::string& name, const std::string* dir) = 0;
  // dir is reached again (a repeat or a cycle) and not walked again.
  virtual void OnRevisit(const std::string& dir) = 0;
  // The walk of dir, with everything it includes, is over.
  virtual void OnLeave(const std::string& dir) = 0;

 protected:
  ~IncludeWalkObserver() = default;
};

// What one walk keeps from level to level.
struct IncludeWalk {
  // The master table's look-up, loaded by the project look-up.
  MasterIndex* master_index = nullptr;
  // Citect's master directory (USER), where master.dbf lies.
  std::string master_path;
  // The directories walked so far, by identity (platform::EntryIdentity,
  // so that "P\\.", "X\\..\\P", "P\\\\", a link or a second drive letter
  // are one directory), or upper-cased with a trailing backslash where the
  // identity cannot be told (a missing directory): a directory reached
  // again (an include cycle, a project included along two paths or under
  // two spellings) is not walked twice, and its lock is taken once.
  std::set<platform::EntryIdentity> walked_identities;
  std::set<std::string> walked;
  IncludeWalkObserver* observer = nullptr;
};

// Past this many include levels the walk ends like a table that cannot be
// opened, well before the stack runs out.
inline constexpr int kMaxIncludeDepth = 400;

// Appends to list the full, upper-cased names of the ProtectedFiles in dir
// and of the projects named in dir's Include.dbf, depth first. Shows "Unable to find include ..."
// and stops this level's walk for an include that is not in the master table. An include table or a
// master table that cannot be opened (master.dbf is opened afresh at every level) shows its message
// and ends the run with 249. depth is the number of include levels above dir.
void CollectProtectedFiles(RunUi& ui, const std::string& dir, std::vector<std::string>& list,
                           IncludeWalk& walk, int depth = 0);

}  // namespace veilbox
