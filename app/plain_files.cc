#include "app/plain_files.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
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

namespace {

// What the clean-up of one written plain file left, with the reasons for
// the debugger output.
struct EntryCleanUp {
  bool handled = false;  // false: not known to be cleaned up at all
  bool not_removed = false;
  bool not_put_back = false;
  bool left_beside = false;
  std::vector<std::string> why;
};

// Removes one plain file and puts back what was set aside from its name
// (aside, when something was).
EntryCleanUp CleanUpEntry(const std::string& name, const PlainFileEntry* aside) {
  EntryCleanUp done;
  done.handled = true;
  std::string why;
  const bool removed = RemoveRunPlainFile(name, kCleanupPatience, &why);
  if (!removed) {
    done.why.push_back(why);
    done.not_removed = true;
  }
  if (!aside) return done;
  // Kept in the journal: the next run puts it back.
  if (!removed) {
    done.not_put_back = true;
    return done;
  }
  switch (PutBackAside(*aside, &why)) {
    case PutBack::kDone:
      break;
    case PutBack::kNotTheEntry:
      done.why.push_back(why);
      done.left_beside = true;
      break;
    case PutBack::kFailed:
      done.why.push_back(why);
      done.not_put_back = true;
      break;
  }
  return done;
}

}  // namespace

const PlainFileEntry* WrittenPlainFiles::SetAsideAt(std::size_t at) const {
  const auto it = std::lower_bound(set_aside_.begin(), set_aside_.end(), at,
                                   [](const std::pair<std::size_t, PlainFileEntry>& entry,
                                      std::size_t position) { return entry.first < position; });
  return it != set_aside_.end() && it->first == at ? &it->second : nullptr;
}

CleanUpLeft WrittenPlainFiles::DeleteAll(unsigned workers) {
  // Each plain file is settled on its own, so the workers share them out;
  // what is left is told in the order written, whatever the number of
  // workers.
  const std::size_t count = names_.size();
  std::vector<EntryCleanUp> done(count);
  RunOrderedPassInRuns(
      DirectoryRunStarts(count, [&](std::size_t i) -> const std::string& { return names_[i]; }),
      count, workers, [&](std::size_t i) {
        try {
          done[i] = CleanUpEntry(names_[i], SetAsideAt(i));
        } catch (const std::exception& e) {
          done[i].why.push_back("cannot clean up " + names_[i] + ": " + e.what());
        }
      });
  CleanUpLeft left;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& name = names_[i];
    const PlainFileEntry* aside = SetAsideAt(i);
    if (!done[i].handled) {
      // Not known to be removed: the journal keeps it for the next run.
      done[i].not_removed = true;
      done[i].not_put_back = aside != nullptr;
    }
    for (const std::string& why : done[i].why) platform::DebugOutput(why);
    if (done[i].not_removed) left.not_removed.push_back(name);
    if (done[i].not_put_back)
      left.not_put_back.push_back("\"" + name + "\" (set aside as \"" + aside->aside + "\")");
    if (done[i].left_beside) left.left_beside.push_back(name);
    if (!done[i].not_removed && !done[i].not_put_back && !done[i].left_beside)
      left.settled.push_back(name);
  }
  std::sort(left.settled.begin(), left.settled.end());
  names_.clear();
  names_.shrink_to_fit();
  set_aside_.clear();
  return left;
}

namespace {

// What came to stand at a name after the journal recorded it is not the
// run's: the journal forgets the name (so that no clean-up touches it), and
// the plain file cannot be created.
[[noreturn]] void RefuseName(PlainFilePlan& plan, const RecordPlainFiles& record, std::size_t at,
                             const std::string& plain) {
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
std::string FreePlainFileName(PlainFilePlan& plan, const RecordPlainFiles& record, std::size_t at,
                              const std::string& plain, WrittenPlainFiles& written, char* noted) {
  const PlainFileEntry* planned = plan.Find(at);
  if (!planned) throw FileCreateError(plain);
  const std::string name = planned->name;
  // Nothing stood at a new plain file's name: it is created without a look
  // first, since the creation never goes over an entry at the name; one
  // that came to stand there since is dealt with when the creation is
  // refused (NameTakenSincePlan).
  if (planned->kind == PlainFileKind::kNew) return name;
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

// A new plain file's creation was refused: what stands at its name now
// decides, as it does for the other names before their creation. A
// leftover of a run is removed, and true says to create the plain file
// again; someone's entry ends the creation (RefuseName); false when
// nothing stands there, or the name was not a new one: the refusal
// stands.
bool NameTakenSincePlan(PlainFilePlan& plan, const RecordPlainFiles& record, std::size_t at,
                        const std::string& plain) {
  const PlainFileEntry* planned = plan.Find(at);
  if (!planned || planned->kind != PlainFileKind::kNew) return false;
  std::string why;
  switch (LookAtPlainFileName(planned->name)) {
    case NameHolder::kNothing:
      return false;
    case NameHolder::kLeftover:
      if (RemoveRunPlainFile(planned->name, std::chrono::milliseconds(0), &why)) return true;
      platform::DebugOutput(why);
      return false;
    case NameHolder::kSomeonesEntry:
    case NameHolder::kUntouchable:
      break;
  }
  RefuseName(plan, record, at, plain);
}

// The stamp of a plain file this run has just written and closed, taken
// by its worker: recovery knows the file by it once the journal holds it.
// None when it cannot be told; recovery then knows the file by its content.
std::optional<platform::EntryStamp> StampOfWritten(const std::string& name) {
  platform::EntryStamp stamp;
  std::uint32_t error = 0;
  if (!platform::StampOf(name, &stamp, &error)) return std::nullopt;
  return stamp;
}

}  // namespace

bool DecryptCollected(RunUi& ui, const std::vector<std::string>& collected,
                      WrittenPlainFiles& written, const RecordPlainFiles& record, std::string* err,
                      unsigned workers) {
  PlainFilePlan plan = PlainFilePlan::Make(collected, workers);
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
  // Whether any plain file's stamp was taken.
  bool stamped = false;
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
        const std::string plain = PlainFileName(entry);
        bool wrote = false;
        const auto free_name = [&](const std::string& name) {
          std::lock_guard<std::mutex> lock(names_mutex);
          return FreePlainFileName(plan, record, todo[k], name, written, &noted[k]);
        };
        try {
          DecryptProtectedFileNoStatus(entry, &wrote, free_name);
        } catch (const FileCreateError&) {
          {
            std::lock_guard<std::mutex> lock(names_mutex);
            if (!NameTakenSincePlan(plan, record, todo[k], plain)) throw;
          }
          DecryptProtectedFileNoStatus(entry, &wrote, free_name);
        }
        std::string name;
        {
          std::lock_guard<std::mutex> lock(names_mutex);
          if (wrote && !noted[k]) {
            written.Add(*plan.Find(todo[k]));
            noted[k] = 1;
          }
          const PlainFileEntry* entry_now = noted[k] ? plan.Find(todo[k]) : nullptr;
          if (entry_now) name = entry_now->name;
        }
        if (name.empty()) return;
        const std::optional<platform::EntryStamp> stamp = StampOfWritten(name);
        if (!stamp) return;
        std::lock_guard<std::mutex> lock(names_mutex);
        if (PlainFileEntry* entry_now = plan.FindToChange(todo[k])) {
          entry_now->plain_stamp = *stamp;
          stamped = true;
        }
      },
      // A soft end hands out no further file.
      [] { return platform::PendingInterrupt() != 0; });
  CheckInterrupt();
  if (!outcome.error) {
    // The stamps go to the journal in one write. Without it (a run killed
    // before, or a journal that cannot be written now) recovery knows the
    // plain files by their content, so a failure here ends nothing.
    std::string stamps_err;
    if (stamped && !record(plan.entries(), &stamps_err)) platform::DebugOutput(stamps_err);
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
