#include "app/protected_file_pass.h"

#include <memory>

#include "app/run_end.h"
#include "platform/files.h"
#include "protect/protected_file.h"
#include "protect/protected_file_name.h"
#include "sysutil/errors.h"
#include "sysutil/file_utils.h"
#include "sysutil/globals.h"
#include "sysutil/text_utils.h"

namespace veilbox {
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

void DecryptCollected(RunUi& ui, const std::vector<std::string>& collected,
                      WrittenPlainFiles& written) {
  for (const std::string& entry : collected) {
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
