#include "app/include_walk.h"

#include <memory>

#include "app/project_lookup.h"
#include "app/run_end.h"
#include "dbase/dbase3plus.h"
#include "platform/entry_identity.h"
#include "platform/files.h"
#include "protect/protected_file_name.h"
#include "sysutil/errors.h"
#include "sysutil/file_utils.h"
#include "sysutil/globals.h"
#include "sysutil/text_utils.h"

namespace veilbox {
namespace {

std::string FieldText(const TDBase3Plus& table, const char* name) {
  std::string value;
  table.FieldValue(name, &value);
  return value;
}

// Opens a table of the walk, or ends the run with 249 and the message.
std::unique_ptr<TDBase3Plus> OpenTable(RunUi& ui, const std::string& file_name,
                                       const std::string& message) {
  // The tables live on the heap: a level's frame stays small.
  auto table = std::make_unique<TDBase3Plus>();
  table->SetFileName(file_name);
  try {
    table->Open();
  } catch (const TableOpenError&) {
    EndRun(ui, message, 249);
  }
  return table;
}

}  // namespace

void CollectProtectedFiles(RunUi& ui, const std::string& dir, std::vector<std::string>& list,
                           IncludeWalk& walk, int depth) {
  const std::string b = AddBackslash(dir);
  platform::EntryIdentity identity;
  std::uint32_t identity_error = 0;
  const bool first_visit = platform::IdentityOf(b, &identity, &identity_error)
                               ? walk.walked_identities.insert(identity).second
                               : walk.walked.insert(UpperAscii(b)).second;
  if (!first_visit) {
    if (walk.observer) walk.observer->OnRevisit(b);
    return;
  }

  std::vector<std::string> names;
  std::uint32_t error = 0;
  // A directory that cannot be listed is not one without ProtectedFiles:
  // the compile would go on without its sources and report success.
  if (!platform::FindFiles(b + "*" + kProtectedExtension, &names, &error))
    EndRun(ui,
           "Unable to decrypt " + b + ": cannot list the directory (error " +
               std::to_string(error) + ")",
           251);
  const std::size_t first = list.size();
  for (const std::string& name : names) list.push_back(UpperAscii(b + name));
  if (walk.observer) walk.observer->OnDirectory(b, first, names.size());
  struct Leave {
    IncludeWalkObserver* observer;
    const std::string& dir;
    ~Leave() {
      if (observer) observer->OnLeave(dir);
    }
  } leave{walk.observer, b};

  // A look that fails is not "no include table" either: the compile would
  // go on without the included projects.
  if (!platform::FileExists(b + "Include.dbf")) {
    platform::EntryInfo info;
    if (!platform::InspectEntry(b + "Include.dbf", &info, &error))
      EndRun(ui,
             "Unable to decrypt " + b + ": cannot look at Include.dbf (error " +
                 std::to_string(error) + ")",
             251);
    if (info.kind != platform::EntryKind::kFile) return;
  }

  const std::string include_message = "Error : Unable to open " + b + "Include.dbf.";
  if (depth >= kMaxIncludeDepth) EndRun(ui, include_message, 249);
  const auto includes = OpenTable(ui, b + "Include.Dbf", include_message);
  // Opened at every level, so that a master table that has become
  // unreadable ends the run; its records were read once, into the index.
  const auto master = OpenTable(ui, MasterTableName(walk.master_path),
                                "Error : Unable to open " + MasterTableName(walk.master_path));

  includes->First();
  while (!includes->Eof()) {
    if (!includes->Deleted()) {
      const std::string* path = walk.master_index->Find(FieldText(*includes, "name"));
      if (walk.observer) walk.observer->OnInclude(FieldText(*includes, "Name"), path);
      if (!path) {
        ui.ShowMessage("Unable to find include \"" + FieldText(*includes, "Name") + "\" in Table " +
                       AddBackslash(walk.master_path) + "Master.dbf.");
        return;  // both tables close as they go
      }
      CollectProtectedFiles(ui, *path, list, walk, depth + 1);
    }
    includes->Next();
  }
}

}  // namespace veilbox
