#include "app/project_lookup.h"

#include <memory>

#include "app/run_end.h"
#include "dbase/dbase3plus.h"
#include "sysutil/globals.h"
#include "sysutil/text_utils.h"

namespace veilbox {

std::string MasterTableName() { return AddBackslash(MasterPath) + "master.dbf"; }

std::string FindProjectDirectory(RunUi& ui, const std::string& project, MasterIndex* index) {
  {
    auto master = std::make_unique<TDBase3Plus>();
    master->SetFileName(MasterTableName());
    try {
      master->Open();
    } catch (const TableOpenError&) {
      EndRun(ui, "Error : Unable to open " + MasterTableName(), 249);
    }
    index->Load(std::move(master));
  }
  const std::string* dir = index->Find(project);
  if (!dir) {
    EndRun(ui,
           "Unable to find Project \"" + project + "\" in Table " + AddBackslash(MasterPath) +
               "Master.dbf.",
           250);
  }
  return *dir;
}

}  // namespace veilbox
