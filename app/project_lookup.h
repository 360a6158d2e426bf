// Finding the project in Citect's master table.
#pragma once

#include <string>

#include "app/master_index.h"
#include "app/run_ui.h"

namespace veilbox {

// master.dbf in master_path (USER): the name every message of the run
// gives it.
std::string MasterTableName(const std::string& master_path);

// Opens master.dbf in master_path, gives it to *index (the one way the run
// looks the master table up; *index keeps it open), and gives the directory of the
// project: field "path" of the first record, deleted or not, whose name
// equals the project's without regard to the case of a to z. Ends the run
// with 249 when the table cannot be opened and with 250 when the project
// is not in it.
std::string FindProjectDirectory(RunUi& ui, const std::string& master_path,
                                 const std::string& project, MasterIndex* index);

}  // namespace veilbox
