// The temporary files of the run journal ("compile-run-<pid>-<16 hex
// digits>.journal.tmp", or "compile-run-<pid>.journal.tmp" of earlier
// versions; written whole and then renamed over the journal) that a run killed in
// the middle of a write leaves behind. The run sweeps them at its start,
// beside cleaning up after the runs themselves.
#pragma once

#include <string>
#include <vector>

#include "app/run_journal.h"

namespace veilbox {

// Deletes each temporary journal file in dir whose writer no longer runs,
// or that carries the caller's own process id (an earlier process had
// it); a name that carries no process id is swept as well. A run that
// still runs is writing its file: that one stays. Returns the files
// deleted.
std::vector<std::string> SweepJournalTemps(const std::string& dir,
                                           const platform::ProcessIdentity& self,
                                           const IsProcessRunning& is_running);

}  // namespace veilbox
