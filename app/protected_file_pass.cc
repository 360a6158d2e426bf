#include "app/protected_file_pass.h"

#include <memory>

#include "app/master_index.h"
#include "dbase/dbase3plus.h"
#include "platform/files.h"
#include "protect/protected_file.h"
#include "sysutil/errors.h"
#include "sysutil/file_utils.h"
#include "sysutil/globals.h"
#include "sysutil/interrupt_check.h"
#include "sysutil/text_utils.h"

namespace veilbox {
namespace {

[[noreturn]] void EndRun(RunUi& ui, const std::string& text, int code) {
  ui.ShowMessage(text);
  throw RunEnded(code);
}

std::string FieldText(const TDBase3Plus& table, const char* name) {
  std::string value;
  table.FieldValue(name, &value);
  return value;
}

}  // namespace

void CollectProtectedFiles(RunUi& ui, const std::string& dir, bool follow_includes,
                           std::vector<std::string>& list, WalkedDirectories& walked,
                           MasterIndex& master_index, int depth) {
  const std::string b = AddBackslash(dir);
  if (!walked.insert(UpperAscii(b)).second) return;

  std::vector<std::string> names;
  ListFiles(names, b + "*" + kProtectedExtension);
  for (const std::string& name : names) list.push_back(UpperAscii(b + name));

  if (!follow_includes) return;
  if (!platform::FileExists(b + "Include.dbf")) return;

  // Past the deepest chain the walk takes, the table is not opened: ended
  // like a table that cannot be opened, well before the stack runs out.
  if (depth >= kMaxIncludeDepth) EndRun(ui, "Error : Unable to open " + b + "Include.dbf.", 249);
  // The tables live on the heap: a level's frame stays small.
  const auto includes_table = std::make_unique<TDBase3Plus>();
  TDBase3Plus& includes = *includes_table;
  includes.SetFileName(b + "Include.Dbf");
  try {
    includes.Open();
  } catch (const std::exception&) {
    EndRun(ui, "Error : Unable to open " + b + "Include.dbf.", 249);
  }
  const std::string master_dir = AddBackslash(MasterPath);
  const auto master_table = std::make_unique<TDBase3Plus>();
  TDBase3Plus& master = *master_table;
  master.SetFileName(master_dir + "master.dbf");
  try {
    master.Open();
  } catch (const std::exception&) {
    EndRun(ui, "Error : Unable to open " + master_dir + "master.dbf", 249);
  }

  includes.First();
  while (!includes.Eof()) {
    if (!includes.Deleted()) {
      // The master table is still opened at every level, so that one that
      // has become unreadable ends the run as before; its records are read
      // once, by the first level that looks an include up.
      if (!master_index.loaded()) master_index.Load(master);
      const std::string* path = master_index.Find(FieldText(includes, "name"));
      if (!path) {
        ui.ShowMessage("Unable to find include \"" + FieldText(includes, "Name") + "\" in Table " +
                       master_dir + "Master.dbf.");
        return;  // both tables close as they go
      }
      CollectProtectedFiles(ui, *path, follow_includes, list, walked, master_index, depth + 1);
    }
    includes.Next();
  }
}

WrittenPlainFiles::~WrittenPlainFiles() { DeleteAll(); }

bool WrittenPlainFiles::Contains(const std::string& plain_name) const {
  return lookup_.count(plain_name) != 0;
}

void WrittenPlainFiles::Add(const std::string& plain_name) {
  if (lookup_.insert(plain_name).second) names_.push_back(plain_name);
}

void WrittenPlainFiles::DeleteAll() {
  for (const std::string& name : names_) DeleteFileChecked(name);
  names_.clear();
  lookup_.clear();
}

std::string PlainFileName(const std::string& protected_name) {
  return LeftStr(protected_name, static_cast<std::int32_t>(protected_name.size()) - 8);
}

void DecryptCollected(RunUi& ui, const std::vector<std::string>& collected,
                      WrittenPlainFiles& written) {
  for (const std::string& entry : collected) {
    CheckInterrupt();
    const std::string plain = PlainFileName(entry);
    if (written.Contains(plain)) continue;
    // A file that carries a plain file's name and that this run does not
    // write (the ProtectedFile cannot be read or is too short) is not the
    // run's, and the clean-up leaves it alone.
    bool wrote = false;
    try {
      DecryptProtectedFile(entry, &wrote);
    } catch (const Error& e) {
      written.DeleteAll();
      EndRun(ui, "Unable to decrypt " + entry + ": " + e.what(), 251);
    }
    if (wrote) written.Add(plain);
  }
}

}  // namespace veilbox
