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
// "compile-run-<pid>.locks", a first line with the run's process id and
// start time and one directory a line. POSIX keeps a lock file of a run
// that died; the next run removes those it can take.
std::string LocksListName(std::uint32_t pid) {
  return "compile-run-" + std::to_string(pid) + ".locks";
}

// The id in a locks list's name; 0 when the name holds none.
std::uint32_t PidInLocksListName(const std::string& name) {
  const std::string head = "compile-run-", tail = ".locks";
  if (name.size() <= head.size() + tail.size() || name.size() > head.size() + tail.size() + 10)
    return 0;
  std::uint64_t pid = 0;
  for (std::size_t i = head.size(); i < name.size() - tail.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    pid = pid * 10 + static_cast<std::uint64_t>(name[i] - '0');
  }
  return pid <= 0xFFFFFFFFu ? static_cast<std::uint32_t>(pid) : 0;
}

// The list is written whole before the first lock is taken.
bool WriteLocksList(const std::string& path, const platform::ProcessIdentity& self,
                    const std::vector<std::string>& dirs) {
  std::string text = std::to_string(self.pid) + " " + std::to_string(self.start_time) + "\n";
  for (const std::string& dir : dirs) text += dir + "\n";
  platform::File file;
  std::uint32_t error = 0;
  if (!platform::File::CreateAlways(path, &file, &error)) return false;
  const bool ok = file.Append(text.data(), text.size()) && file.Sync();
  file.Close();
  return ok;
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
    if (writer.pid == self.pid || platform::ProcessIsRunning(writer)) continue;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      if (lines[i].empty()) continue;
      platform::DirLock lock;
      std::string err;
      const platform::LockResult result = lock.Acquire(lines[i], 0, &err);
      if (result == platform::LockResult::kAcquired || result == platform::LockResult::kTakenOver)
        lock.Release();  // removes the file; one held now is a live run's
      else if (result == platform::LockResult::kUnavailable)
        platform::DebugOutput(err);
    }
    platform::RemoveFile(base + name, &error);
  }
}

}  // namespace

std::vector<std::string> PlainFileDirectories(const std::vector<std::string>& plain_files) {
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
  std::vector<std::string> dirs;
  std::set<platform::EntryIdentity> seen;
  for (auto& [key, dir] : by_key) {
    platform::EntryIdentity identity;
    std::uint32_t error = 0;
    if (platform::IdentityOf(dir, &identity, &error) && !seen.insert(identity).second) continue;
    dirs.push_back(std::move(dir));
  }
  return dirs;
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
         std::string* why) {
        std::vector<std::unique_ptr<platform::DirLock>> held;
        for (const std::string& dir : PlainFileDirectories(plain_files)) {
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
      });
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
  for (const std::string& dir : PlainFileDirectories(plain_files)) {
    const std::string refusal = platform::DirLock::CreateRefusal(dir);
    if (!refusal.empty()) return DirLockFailure(dir, refusal);
  }
  return {};
}

void RunSafety::LockPlainFileDirectories(const std::vector<std::string>& plain_files) {
  std::string err;
  if (!journal_)
    throw ProtectionUnavailable(std::string("Veilbox has no run journal") + kUnableToContinue);
  const std::vector<std::string> dirs = PlainFileDirectories(plain_files);
  if (!dirs.empty()) {
    const platform::ProcessIdentity self = platform::CurrentProcess();
    locks_list_ = AddBackslash(journal_dir_) + LocksListName(self.pid);
    if (!WriteLocksList(locks_list_, self, dirs))
      throw ProtectionUnavailable("Veilbox cannot write " + locks_list_ + kUnableToContinue);
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

void RunSafety::Settle() {
  if (journal_) journal_->Settle(restore_, &recovery_);
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
