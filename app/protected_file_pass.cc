#include "app/protected_file_pass.h"

#include <memory>

#include "app/plain_file_plan.h"
#include "app/run_end.h"
#include "platform/files.h"
#include "platform/process_identity.h"
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

void WrittenPlainFiles::Add(const std::string& plain_name, const PlainFileEntry& entry) {
  if (lookup_.insert(plain_name).second) entries_.push_back(entry);
}

std::vector<std::string> WrittenPlainFiles::DeleteAll(std::chrono::milliseconds patience) {
  std::vector<std::string> left;
  const platform::ProcessIdentity self = platform::CurrentProcess();
  for (const PlainFileEntry& entry : entries_) {
    std::string why;
    if (!RemoveRunPlainFile(entry.name, patience, &why) ||
        (entry.kind == PlainFileKind::kAside && !PutBackAside(entry.name, self, &why)))
      left.push_back(entry.name);
  }
  entries_.clear();
  lookup_.clear();
  return left;
}

std::vector<std::string> WrittenPlainFiles::names() const {
  std::vector<std::string> names;
  for (const PlainFileEntry& entry : entries_) names.push_back(entry.name);
  return names;
}

namespace {

// What came to stand at a name after the journal recorded it is not the
// run's: the journal forgets the name (so that no clean-up touches it), and
// the plain file cannot be created.
[[noreturn]] void RefuseName(PlainFilePlan& plan, const RecordPlainFiles& record,
                             const std::string& plain) {
  plan.Drop(plain);
  std::string ignored;
  record(plan.entries(), &ignored);
  throw FileCreateError(plain);
}

// Frees a plain file's name as the plan says, just before the plain file
// is created there; returns the name to create. What stands there must
// still be what the journal recorded: anything else stops the run.
std::string FreePlainFileName(PlainFilePlan& plan, const RecordPlainFiles& record,
                              const std::string& plain, WrittenPlainFiles& written) {
  const PlainFileEntry* planned = plan.Find(plain);
  if (!planned) throw FileCreateError(plain);
  const NameHolder now = LookAtPlainFileName(planned->name);
  std::string why;
  switch (planned->kind) {
    case PlainFileKind::kNew:
    case PlainFileKind::kLeftover:
    case PlainFileKind::kHiddenOnly:
      if (now == NameHolder::kLeftover) {
        if (!RemoveRunPlainFile(planned->name, std::chrono::milliseconds(0), &why))
          throw FileCreateError(plain);
      } else if (now != NameHolder::kNothing) {
        RefuseName(plan, record, plain);
      }
      break;
    case PlainFileKind::kAside: {
      if (now != NameHolder::kSomeonesEntry && now != NameHolder::kLeftover)
        throw FileCreateError(plain);
      std::uint32_t error = 0;
      if (!platform::RenameNoReplace(planned->name,
                                     AsideName(planned->name, platform::CurrentProcess()), &error))
        throw FileCreateError(plain);
      // From here on the clean-up puts it back, whatever happens next.
      written.Add(plain, *planned);
      break;
    }
  }
  return planned->name;
}

}  // namespace

bool DecryptCollected(RunUi& ui, const std::vector<std::string>& collected,
                      WrittenPlainFiles& written, const RecordPlainFiles& record,
                      std::string* err) {
  PlainFilePlan plan = PlainFilePlan::Make(collected);
  if (!record(plan.entries(), err)) return false;
  for (const std::string& entry : collected) {
    const std::string plain = PlainFileName(entry);
    if (written.Contains(plain)) continue;
    // A file that carries a plain file's name and that this run does not
    // write (the ProtectedFile cannot be read or is too short) is not the
    // run's, and the clean-up leaves it alone.
    bool wrote = false;
    try {
      DecryptProtectedFile(entry, &wrote, [&](const std::string& name) {
        return FreePlainFileName(plan, record, name, written);
      });
    } catch (const Error& e) {
      written.DeleteAll();
      EndRun(ui, "Unable to decrypt " + entry + ": " + e.what(), 251);
    }
    if (wrote) written.Add(plain, *plan.Find(plain));
  }
  return true;
}

}  // namespace veilbox
