// The safety net of one compile run, for every way a run can end other
// than its normal end:
//  - soft ends (SIGINT, SIGTERM, SIGHUP; the end of the session) are
//    caught for the run's length and passed on to the
//    compiler; the run notices them at its checkpoints and unwinds with
//    RunInterrupted, cleaning up on the way;
//  - runs are serialized by the run lock, so two runs never work on the
//    same plain files at once;
//  - runs on other machines (or other installations) that compile
//    projects in the same directories are held off by a lock in each
//    project directory the run writes to;
//  - the run journal lets the next run clean up after a run that was
//    killed outright, which happens first thing in Begin().
// A run never writes a plain file without its run lock, its directory
// locks and its journal: when one of them cannot be had, the run ends
// before the decryption with ProtectionUnavailable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/run_journal.h"
#include "platform/dir_lock.h"
#include "platform/entry_identity.h"
#include "platform/interrupts.h"
#include "platform/run_lock.h"
#include "sysutil/errors.h"
#include "sysutil/interrupt_check.h"

namespace veilbox {

// A protection the run cannot have; what() names it and why. The run ends
// with it, before any plain file is written, with its message and 252.
class ProtectionUnavailable : public Error {
 public:
  using Error::Error;
};

// Reads a directory's identity (platform::IdentityOf, or a stand-in).
using IdentityReader =
    std::function<bool(const std::string& path, platform::EntryIdentity*, std::uint32_t* error)>;

// The directories of the plain files, each once by its identity (not its
// spelling), in the order their locks are taken: by their upper-cased
// names, the same order in every run. A missing directory stands under
// its spelling: nothing there to lock or to settle. False, with *err
// naming the directory, when the identity of one that is there cannot be
// read (*err: "cannot lock the project directory DIR: ..."): its
// spelling never stands in for it, since two spellings of one
// directory would take its lock twice, and the run (or its recovery)
// would wait on itself for ever, holding the run lock.
bool PlainFileDirectories(const std::vector<std::string>& plain_files,
                          std::vector<std::string>* dirs, std::string* err,
                          const IdentityReader& identity_of = platform::IdentityOf);

// Recovery's WithDirectoryLocks: runs settle while holding the lock of
// each directory of plain_files that is there, taken as a run takes them.
// False, with *why, when one cannot be had or a directory cannot be told
// (looked at, or known by its identity): the journal is then kept for a
// later run. RunInterrupted when a soft end comes while it waits.
bool SettleUnderDirLocks(const std::vector<std::string>& plain_files,
                         const std::function<void()>& settle, std::string* why,
                         const IdentityReader& identity_of = platform::IdentityOf);

// The message LockPlainFileDirectories ends the run with when this user
// cannot create a file in one of those directories, asked without
// creating anything; empty when every lock file can be created.
std::string PlainFileDirectoriesRefusal(const std::vector<std::string>& plain_files);

class RunSafety {
 public:
  // Starts catching the soft ends. restore switches the completion message
  // back on in a settings file (for runs that were killed with it off).
  explicit RunSafety(RestoreOkMessage restore);
  // Settles the run's own journal (see RunJournal::Settle) and releases
  // the lock.
  ~RunSafety();
  RunSafety(const RunSafety&) = delete;
  RunSafety& operator=(const RunSafety&) = delete;

  // The first step of the run: waits for the run lock, then cleans up
  // after every run that was killed. Raises RunInterrupted when a soft end
  // comes while it waits, ProtectionUnavailable when the lock or the
  // journal directory cannot be used.
  void Begin();

  // Before the decryption loop looks at the plain files' names: waits for
  // the lock of each of their directories. The plain files another run
  // has written in a shared directory are gone once its lock is ours, and
  // only then does the run see what stands at each name. Raises
  // RunInterrupted when a soft end comes while it waits,
  // ProtectionUnavailable when a lock cannot be had.
  void LockPlainFileDirectories(const std::vector<std::string>& plain_files);
  // Before the first plain file is written: records the plain files the
  // run may write, with what stands at each name. False, with a text for
  // the user, when they cannot be recorded; then no plain file may be
  // written. A result, unlike its siblings' ProtectionUnavailable: the
  // decryption records again as it goes (a new set-aside name, the plain
  // files' stamps), and there a failed record is handled, not the end.
  bool BeforePlainFiles(const std::vector<PlainFileEntry>& plain_files, std::string* err);
  // Before "0" is written to COMPILEOKMESSAGE in this settings file;
  // ProtectionUnavailable when it cannot be recorded.
  void BeforeOkMessageOff(const std::string& settings_file);
  // After the clean-up loop and the restore: settles and removes the
  // journal and releases the directory locks. Also done by the destructor.
  // settled: the plain files' names the clean-up loop has just dealt with
  // in full (CleanUpLeft::settled), which the journal need not look at.
  void Settle(const std::vector<std::string>& settled = {});

  // A checkpoint: raises RunInterrupted when a soft end is pending.
  void CheckInterrupt() const;

  // What Begin() found and did, for support.
  platform::LockResult lock_result() const { return lock_result_; }
  const RecoveryReport& recovery() const { return recovery_; }
  // The directories whose locks the run holds.
  std::vector<std::string> locked_directories() const;

 private:
  void ReleaseDirLocks();
  // Sends the recovery problems not yet told to the debugger output.
  void TellNewProblems();

  platform::InterruptCatcher catcher_;
  RestoreOkMessage restore_;
  platform::RunLock lock_;
  platform::LockResult lock_result_ = platform::LockResult::kUnavailable;
  std::optional<RunJournal> journal_;
  std::string journal_dir_;
  std::string locks_list_;  // the list of directory locks, once written
  RecoveryReport recovery_;
  std::size_t problems_told_ = 0;
  struct HeldDirLock {
    std::string dir;
    platform::DirLock lock;
  };
  std::vector<std::unique_ptr<HeldDirLock>> dir_locks_;
};

}  // namespace veilbox
