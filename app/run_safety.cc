#include "app/run_safety.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "app/journal_temp_sweep.h"
#include "platform/debug_output.h"
#include "platform/entry_identity.h"
#include "platform/files.h"
#include "platform/private_dir.h"
#include "platform/system_error.h"
#include "platform/user_data_dir.h"
#include "sysutil/text_utils.h"

namespace veilbox {
namespace {

constexpr char kUnableToContinue[] = ".  Veilbox is unable to continue.";

std::string DirLockFailure(const std::string& dir, const std::string& why) {
  return "Veilbox cannot lock the project directory " + dir + ": " + why + kUnableToContinue;
}

// The list of the directory locks a run holds, beside its journal:
// "compile-run-<pid>-<16 hex digits>.locks" (earlier versions:
// "compile-run-<pid>.locks"), a first line with the run's process id and
// start time and one directory a line. POSIX keeps a lock file of a run
// that died; the next run removes those it can take.

// The id in a locks list's name, of either form; 0 when the name holds none.
std::uint32_t PidInLocksListName(const std::string& name) {
  const std::string head = "compile-run-", tail = ".locks";
  if (name.size() <= head.size() + tail.size() || name.compare(0, head.size(), head) != 0 ||
      name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
    return 0;
  std::string_view middle(name);
  middle = middle.substr(head.size(), name.size() - head.size() - tail.size());
  if (const std::size_t dash = middle.find('-'); dash != std::string_view::npos) {
    if (middle.size() - dash - 1 != 16) return 0;
    middle = middle.substr(0, dash);
  }
  if (middle.empty() || middle.size() > 10) return 0;
  std::uint64_t pid = 0;
  for (char c : middle) {
    if (c < '0' || c > '9') return 0;
    pid = pid * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return pid <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(pid) : 0;
}

// The list is written whole before the first lock is taken, under a name
// where nothing stands: a list there is another run's, which the next run
// still needs (an earlier process with the same id). *path is the name
// it was created under, empty when none was.
bool WriteLocksList(const std::string& journal_dir, const platform::ProcessIdentity& self,
                    const std::vector<std::string>& dirs, std::string* path) {
  std::string text = std::to_string(self.pid) + " " + std::to_string(self.start_time) + "\n";
  for (const std::string& dir : dirs) text += dir + "\n";
  constexpr int kDraws = 8;
  for (int draw = 0; draw < kDraws; ++draw) {
    const std::string name =
        AddBackslash(journal_dir) + RunFileName(self.pid, RandomAsideSuffix(), ".locks");
    platform::File file;
    std::uint32_t error = 0;
    if (!platform::File::CreateNewPrivate(name, &file, &error)) {
      if (error == platform::kErrorFileExists || error == platform::kErrorAlreadyExists) continue;
      return false;
    }
    *path = name;
    const bool ok = file.Append(text.data(), text.size()) && file.Sync();
    file.Close();
    return ok;
  }
  return false;
}

// Whether a dead run's lock file that could not be taken may still stand
// in dir: a file at the lock's name, or a name that cannot be looked at.
// Someone's entry there, or nothing, holds nothing of the run's.
bool MayStillBeLeft(const std::string& dir, const std::string& err) {
  if (err == platform::DirLock::NotOurs(dir)) return false;
  platform::EntryInfo info;
  std::uint32_t error = 0;
  return !platform::InspectEntry(AddBackslash(dir) + platform::kDirLockName, &info, &error) ||
         info.kind == platform::EntryKind::kFile;
}

// A decimal number that is the whole of text; none for anything else (an
// empty text, another character, a number too large for T).
template <typename T>
std::optional<T> WholeNumber(std::string_view text) {
  T value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The writer of a locks list, from its first line "pid start-time"; none
// when that line is not whole.
std::optional<platform::ProcessIdentity> LocksListWriter(std::string_view line) {
  const std::size_t blank = line.find(' ');
  const std::optional<std::uint32_t> pid = WholeNumber<std::uint32_t>(line.substr(0, blank));
  if (!pid) return std::nullopt;
  if (blank == std::string_view::npos) return platform::ProcessIdentity{*pid, 0};
  const std::optional<std::uint64_t> start = WholeNumber<std::uint64_t>(line.substr(blank + 1));
  if (!start) return std::nullopt;
  return platform::ProcessIdentity{*pid, *start};
}

// Removes the lock files that runs which died left in their directories.
void RemoveDeadRunsLocks(const std::string& journal_dir, const platform::ProcessIdentity& self) {
  const std::string base = AddBackslash(journal_dir);
  for (const std::string& name : platform::FindFiles(base + "compile-run-*.locks")) {
    std::string text;
    std::uint32_t error = 0;
    if (!platform::ReadWholeFile(base + name, platform::Share::kReadWrite, &text, &error)) continue;
    // Whole lines only: a list cut short by a kill while it was written
    // may end in part of a directory's name.
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
      lines.push_back(text.substr(at, end - at));
    platform::ProcessIdentity writer;
    if (std::optional<platform::ProcessIdentity> head =
            lines.empty() ? std::nullopt : LocksListWriter(lines[0])) {
      writer = *head;
    } else {
      // Cut short by a kill while it was written, before any lock was
      // taken: the id in its name says whether its writer still runs.
      writer = {PidInLocksListName(name), 0};
      if (writer.pid == 0) continue;  // not ours to follow
      lines.clear();
    }
    // Our own id on a list means an earlier process had it: ours is not
    // written yet.
    if (writer.pid != self.pid && platform::ProcessIsRunning(writer)) continue;
    // A lock that cannot be told keeps the list for the next run; a missing
    // directory, or someone's entry at the lock's name, holds nothing of
    // the run's.
    bool keep = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      if (lines[i].empty()) continue;
      platform::EntryInfo info;
      if (!platform::InspectEntry(lines[i], &info, &error)) {
        keep = true;
        continue;
      }
      if (info.kind == platform::EntryKind::kMissing) continue;
      platform::DirLock lock;
      std::string err;
      const platform::LockResult result = lock.Acquire(lines[i], 0, &err);
      if (result == platform::LockResult::kAcquired || result == platform::LockResult::kTakenOver) {
        lock.Release();  // removes the file; one held now is a live run's
      } else if (result == platform::LockResult::kUnavailable) {
        platform::DebugOutput(err);
        keep = keep || MayStillBeLeft(lines[i], err);
      } else if (result == platform::LockResult::kInterrupted) {
        keep = true;
      }
    }
    if (!keep) platform::RemoveFile(base + name, &error);
  }
}

}  // namespace

bool PlainFileDirectories(const std::vector<std::string>& plain_files,
                          std::vector<std::string>* dirs, std::string* err,
                          const IdentityReader& identity_of) {
  std::map<std::string, std::string> by_key;  // upper-cased name -> name
  for (const std::string& name : plain_files) {
    const std::size_t slash = name.find_last_of("\\/");
    if (slash == std::string::npos) continue;
    std::string dir = name.substr(0, slash + 1);
    by_key.emplace(UpperAscii(dir), std::move(dir));
  }
  // One directory under two spellings ("P\\.", "P\\x\\..", a link, a second
  // drive letter) is one directory: its lock is taken once, under the
  // first spelling in the order, so the run never waits on itself.
  dirs->clear();
  std::set<platform::EntryIdentity> seen;
  for (auto& [key, dir] : by_key) {
    platform::EntryIdentity identity;
    std::uint32_t error = 0;
    if (identity_of(dir, &identity, &error)) {
      if (!seen.insert(identity).second) continue;
    } else if (error != platform::kErrorFileNotFound && error != platform::kErrorPathNotFound) {
      *err = "cannot lock the project directory " + dir +
             ": its identity cannot be read: " + platform::SystemErrorText(error);
      dirs->clear();
      return false;
    }
    dirs->push_back(std::move(dir));
  }
  return true;
}

bool SettleUnderDirLocks(const std::vector<std::string>& plain_files,
                         const std::function<void()>& settle, std::string* why,
                         const IdentityReader& identity_of) {
  std::vector<std::string> dirs;
  if (!PlainFileDirectories(plain_files, &dirs, why, identity_of)) return false;
  std::vector<std::unique_ptr<platform::DirLock>> held;
  for (const std::string& dir : dirs) {
    platform::EntryInfo info;
    std::uint32_t error = 0;
    if (!platform::InspectEntry(dir, &info, &error)) {
      // Not known to be gone: settled another time, under its lock.
      *why = "cannot look at " + dir + ": " + platform::SystemErrorText(error);
      return false;
    }
    if (info.kind == platform::EntryKind::kMissing) continue;  // nothing left to settle
    held.push_back(std::make_unique<platform::DirLock>());
    const platform::LockResult result = held.back()->Acquire(dir, -1, why);
    if (result == platform::LockResult::kInterrupted)
      throw RunInterrupted(platform::PendingInterrupt());
    if (!held.back()->held()) return false;
  }
  settle();
  return true;  // the locks go with `held`
}

RunSafety::RunSafety(RestoreOkMessage restore) : restore_(std::move(restore)) {}

RunSafety::~RunSafety() { Settle(); }

void RunSafety::Begin() {
  std::string err;
  lock_result_ = lock_.Acquire(-1, &err);
  if (lock_result_ == platform::LockResult::kInterrupted)
    throw RunInterrupted(platform::PendingInterrupt());
  if (!lock_.held())
    throw ProtectionUnavailable("Veilbox cannot take the run lock: " + err + kUnableToContinue);
  std::string dir;
  if (!platform::UserDataDir(&dir, &err) || !platform::DirectoryExists(dir)) {
    if (err.empty()) err = dir + " is not a directory";
    throw ProtectionUnavailable("Veilbox cannot use its journal directory: " + err +
                                kUnableToContinue);
  }
  // A journal names files to delete and to move: one that someone else
  // could have put there is never followed.
  if (!platform::DirectoryIsPrivate(dir, &err))
    throw ProtectionUnavailable("Veilbox cannot trust its journal directory: " + err +
                                kUnableToContinue);
  // Unknown, our own identity could not tell our set-aside names and locks
  // from those of a later process with the same id.
  const platform::ProcessIdentity self = platform::CurrentProcess();
  if (self.start_time == 0)
    throw ProtectionUnavailable(std::string("Veilbox cannot establish its own process identity") +
                                kUnableToContinue);
  recovery_ = RecoverAbandonedRuns(
      dir, self, restore_, platform::ProcessIsRunning,
      [](const std::vector<std::string>& plain_files, const std::function<void()>& settle,
         std::string* why) { return SettleUnderDirLocks(plain_files, settle, why); });
  if (!recovery_.unlisted.empty())
    throw ProtectionUnavailable("Veilbox cannot use its journal directory: " + recovery_.unlisted +
                                kUnableToContinue);
  TellNewProblems();
  SweepJournalTemps(dir, self, platform::ProcessIsRunning);
  RemoveDeadRunsLocks(dir, self);
  journal_dir_ = dir;
  journal_.emplace(dir, self);
}

std::string PlainFileDirectoriesRefusal(const std::vector<std::string>& plain_files) {
  std::vector<std::string> dirs;
  std::string why;
  if (!PlainFileDirectories(plain_files, &dirs, &why))
    return "Veilbox " + why + kUnableToContinue;
  for (const std::string& dir : dirs) {
    const std::string refusal = platform::DirLock::CreateRefusal(dir);
    if (!refusal.empty()) return DirLockFailure(dir, refusal);
  }
  return {};
}

void RunSafety::LockPlainFileDirectories(const std::vector<std::string>& plain_files) {
  std::string err;
  if (!journal_)
    throw ProtectionUnavailable(std::string("Veilbox has no run journal") + kUnableToContinue);
  std::vector<std::string> dirs;
  if (!PlainFileDirectories(plain_files, &dirs, &err))
    throw ProtectionUnavailable("Veilbox " + err + kUnableToContinue);
  if (!dirs.empty()) {
    const platform::ProcessIdentity self = platform::CurrentProcess();
    std::string list;
    const bool written = WriteLocksList(journal_dir_, self, dirs, &list);
    locks_list_ = list;  // removed with the locks, even when cut short
    if (!written)
      throw ProtectionUnavailable("Veilbox cannot write the list of its locks in " + journal_dir_ +
                                  kUnableToContinue);
    for (const std::string& dir : dirs) {
      auto held = std::make_unique<HeldDirLock>();
      held->dir = dir;
      const platform::LockResult result = held->lock.Acquire(dir, -1, &err);
      if (result == platform::LockResult::kInterrupted)
        throw RunInterrupted(platform::PendingInterrupt());
      if (!held->lock.held()) throw ProtectionUnavailable(DirLockFailure(dir, err));
      dir_locks_.push_back(std::move(held));
    }
  }
}

bool RunSafety::BeforePlainFiles(const std::vector<PlainFileEntry>& plain_files, std::string* err) {
  std::string why = "no journal";
  if (journal_ && journal_->RecordPlainFiles(plain_files, &why)) return true;
  *err = "Veilbox cannot write its run journal: " + why + kUnableToContinue;
  return false;
}

void RunSafety::BeforeOkMessageOff(const std::string& settings_file) {
  std::string err;
  if (!journal_ || !journal_->RecordOkMessageSuppressed(settings_file, &err))
    throw ProtectionUnavailable("Veilbox cannot write its run journal: " + err + kUnableToContinue);
}

void RunSafety::Settle(const std::vector<std::string>& settled) {
  if (journal_) journal_->Settle(restore_, &recovery_, settled);
  TellNewProblems();
  ReleaseDirLocks();
}

void RunSafety::TellNewProblems() {
  // What could not be cleaned up stays in a journal for the next run; the
  // reasons go to the debugger output, each once.
  for (; problems_told_ < recovery_.problems.size(); ++problems_told_)
    platform::DebugOutput(recovery_.problems[problems_told_]);
}

void RunSafety::ReleaseDirLocks() {
  dir_locks_.clear();  // each lock removes its file
  if (locks_list_.empty()) return;
  std::uint32_t error = 0;
  platform::RemoveFile(locks_list_, &error);
  locks_list_.clear();
}

std::vector<std::string> RunSafety::locked_directories() const {
  std::vector<std::string> dirs;
  for (const auto& held : dir_locks_) dirs.push_back(held->dir);
  return dirs;
}

void RunSafety::CheckInterrupt() const { veilbox::CheckInterrupt(); }

}  // namespace veilbox
