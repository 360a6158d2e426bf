#include "app/project_lookup.h"

#include <memory>

#include "app/decrypt_workers.h"
#include "app/run_end.h"
#include "dbase/dbase3plus.h"
#include "sysutil/text_utils.h"

namespace veilbox {

std::string MasterTableName(const std::string& master_path) {
  return AddBackslash(master_path) + "master.dbf";
}

std::string FindProjectDirectory(RunUi& ui, const std::string& master_path,
                                 const std::string& project, MasterIndex* index) {
  {
    auto master = std::make_unique<TDBase3Plus>();
    master->SetFileName(MasterTableName(master_path));
    try {
      master->Open();
    } catch (const TableOpenError&) {
      EndRun(ui, "Error : Unable to open " + MasterTableName(master_path), 249);
    }
    index->Load(std::move(master), DecryptWorkerCount());
  }
  const std::string* dir = index->Find(project);
  if (!dir) {
    EndRun(ui,
           "Unable to find Project \"" + project + "\" in Table " + AddBackslash(master_path) +
               "Master.dbf.",
           250);
  }
  return *dir;
}

}  // namespace veilbox
