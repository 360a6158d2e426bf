#include "app/plain_files.h"

#include <memory>
#include <mutex>
#include <unordered_set>

#include "app/plain_file_plan.h"
#include "app/run_end.h"
#include "platform/debug_output.h"
#include "platform/entry_identity.h"
#include "platform/files.h"
#include "platform/interrupts.h"
#include "platform/process_identity.h"
#include "protect/protected_file.h"
#include "protect/protected_file_name.h"
#include "sysutil/errors.h"
#include "sysutil/file_utils.h"
#include "sysutil/interrupt_check.h"
#include "sysutil/ordered_parallel_pass.h"
#include "sysutil/text_utils.h"

namespace veilbox {
WrittenPlainFiles::~WrittenPlainFiles() { DeleteAll(); }

void WrittenPlainFiles::Add(const PlainFileEntry& entry) {
  if (entry.kind == PlainFileKind::kAside) set_aside_.emplace_back(names_.size(), entry);
  names_.push_back(entry.name);
}

CleanUpLeft WrittenPlainFiles::DeleteAll() {
  CleanUpLeft left;
  auto aside = set_aside_.begin();
  for (std::size_t at = 0; at < names_.size(); ++at) {
    const std::string& name = names_[at];
    std::string why;
    const bool removed = RemoveRunPlainFile(name, kCleanupPatience, &why);
    if (!removed) {
      platform::DebugOutput(why);
      left.not_removed.push_back(name);
    }
    if (aside == set_aside_.end() || aside->first != at) continue;
    const PlainFileEntry& entry = (aside++)->second;
    // Kept in the journal: the next run puts it back.
    const auto kept = [&] {
      left.not_put_back.push_back("\"" + entry.name + "\" (set aside as \"" + entry.aside + "\")");
    };
    if (!removed) {
      kept();
      continue;
    }
    switch (PutBackAside(entry, &why)) {
      case PutBack::kDone:
        break;
      case PutBack::kNotTheEntry:
        platform::DebugOutput(why);
        left.left_beside.push_back(entry.name);
        break;
      case PutBack::kFailed:
        platform::DebugOutput(why);
        kept();
        break;
    }
  }
  names_.clear();
  names_.shrink_to_fit();
  set_aside_.clear();
  return left;
}

namespace {

// What came to stand at a name after the journal recorded it is not the
// run's: the journal forgets the name (so that no clean-up touches it), and
// the plain file cannot be created.
[[noreturn]] void RefuseName(PlainFilePlan& plan, const RecordPlainFiles& record,
                             std::size_t at, const std::string& plain) {
  plan.Drop(at);
  std::string err;
  if (!record(plan.entries(), &err)) platform::DebugOutput(err);
  throw FileCreateError(plain);
}

// Moves someone's entry from a plain file's name to its set-aside name,
// which the journal holds before the move. The move never replaces: a
// taken set-aside name is someone's too, and another is drawn and
// recorded. Only the entry the plan stamped moves.
void SetAside(PlainFilePlan& plan, const RecordPlainFiles& record, std::size_t at,
              const std::string& plain) {
  PlainFileEntry* planned = plan.FindToChange(at);
  platform::EntryStamp now;
  std::uint32_t error = 0;
  if (!planned->aside_stamp || !platform::StampOf(planned->name, &now, &error) ||
      now != *planned->aside_stamp)
    RefuseName(plan, record, at, plain);
  constexpr int kDraws = 8;
  for (int draw = 0; draw < kDraws; ++draw) {
    if (platform::RenameNoReplace(planned->name, planned->aside, &error)) return;
    if (error != platform::kErrorFileExists && error != platform::kErrorAlreadyExists) break;
    planned->aside = SetAsideName(planned->name, RandomAsideSuffix());
    std::string err;
    if (!record(plan.entries(), &err)) {
      platform::DebugOutput(err);
      break;
    }
  }
  RefuseName(plan, record, at, plain);
}

// Frees the plain file's name of the collected name at `at` (plain, as the
// pass builds it) as the plan says, just before the plain file is created
// there; returns the name to create. What stands there must still be what
// the journal recorded: anything else stops the run. *noted: the plain
// file is in `written`.
std::string FreePlainFileName(PlainFilePlan& plan, const RecordPlainFiles& record,
                              std::size_t at, const std::string& plain,
                              WrittenPlainFiles& written, char* noted) {
  const PlainFileEntry* planned = plan.Find(at);
  if (!planned) throw FileCreateError(plain);
  const std::string name = planned->name;
  const NameHolder now = LookAtPlainFileName(planned->name);
  std::string why;
  switch (planned->kind) {
    case PlainFileKind::kNew:
    case PlainFileKind::kLeftover:
    case PlainFileKind::kHiddenOnly:
      if (now == NameHolder::kLeftover) {
        if (!RemoveRunPlainFile(planned->name, std::chrono::milliseconds(0), &why)) {
          platform::DebugOutput(why);
          throw FileCreateError(plain);
        }
      } else if (now != NameHolder::kNothing) {
        RefuseName(plan, record, at, plain);
      }
      break;
    case PlainFileKind::kAside:
      SetAside(plan, record, at, plain);
      // From here on the clean-up puts it back, whatever happens next.
      written.Add(*plan.Find(at));
      *noted = 1;
      break;
  }
  return name;
}

// Records the stamp of each plain file the pass wrote, in one journal
// write: from then on recovery knows them by it. Without it (a run killed
// before, or a journal that cannot be written now) it knows them by their
// content, so a failure here ends nothing.
void RecordPlainFileStamps(PlainFilePlan& plan, const std::vector<std::size_t>& todo,
                           const std::vector<char>& noted, const RecordPlainFiles& record) {
  bool any = false;
  for (std::size_t k = 0; k < todo.size(); ++k) {
    PlainFileEntry* entry = plan.FindToChange(todo[k]);
    if (!entry || !noted[k]) continue;
    platform::EntryStamp stamp;
    std::uint32_t error = 0;
    if (!platform::StampOf(entry->name, &stamp, &error)) continue;
    entry->plain_stamp = stamp;
    any = true;
  }
  std::string err;
  if (any && !record(plan.entries(), &err)) platform::DebugOutput(err);
}

}  // namespace

bool DecryptCollected(RunUi& ui, const std::vector<std::string>& collected,
                      WrittenPlainFiles& written, const RecordPlainFiles& record, std::string* err,
                      unsigned workers) {
  PlainFilePlan plan = PlainFilePlan::Make(collected);
  if (!record(plan.entries(), err)) return false;

  // Each plain file is written once, by the first entry that names it.
  std::vector<std::size_t> todo;
  {
    std::unordered_set<std::string> listed;
    for (const std::string& name : written.names()) listed.insert(UpperAscii(name));
    for (std::size_t i = 0; i < collected.size(); ++i) {
      if (plan.Repeats(i)) continue;
      if (!listed.empty() && listed.count(UpperAscii(PlainFileName(collected[i])))) continue;
      todo.push_back(i);
    }
  }
  // Which of them the clean-up knows (`written` lists it), each set by
  // its own worker.
  std::vector<char> noted(todo.size(), 0);
  // The workers read and decrypt on their own; freeing a plain file's name
  // (the plan, the journal, the set-aside files) and noting what was
  // written take turns. A file that carries a plain file's name and that
  // this run does not write (the ProtectedFile is too short) is not the
  // run's, and the clean-up leaves it alone.
  std::mutex names_mutex;
  const PassOutcome outcome = RunOrderedPass(
      todo.size(), workers,
      [&](std::size_t k) {
        CheckInterrupt();
        const std::string& entry = collected[todo[k]];
        bool wrote = false;
        DecryptProtectedFileNoStatus(entry, &wrote, [&](const std::string& name) {
          std::lock_guard<std::mutex> lock(names_mutex);
          return FreePlainFileName(plan, record, todo[k], name, written, &noted[k]);
        });
        if (wrote && !noted[k]) {
          std::lock_guard<std::mutex> lock(names_mutex);
          written.Add(*plan.Find(todo[k]));
          noted[k] = 1;
        }
      },
      // A soft end hands out no further file.
      [] { return platform::PendingInterrupt() != 0; });
  CheckInterrupt();
  if (!outcome.error) {
    RecordPlainFileStamps(plan, todo, noted, record);
    return true;
  }
  // The first failure in the collected order decides, whatever the number
  // of workers; files written after it meanwhile go with the rest.
  const std::string& entry = collected[todo[outcome.first_failure]];
  try {
    std::rethrow_exception(outcome.error);
  } catch (const Error& e) {
    EndRun(ui, "Unable to decrypt " + entry + ": " + e.what(), 251, [&] { written.DeleteAll(); });
  }
}

}  // namespace veilbox
