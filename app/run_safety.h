// The safety net of one compile run, for every way a run can end other
// than its normal end:
//  - soft ends (SIGINT, SIGTERM, SIGHUP; a close request, the end of the
//    session) are caught for the run's length and passed on to the
//    compiler; the run notices them at its checkpoints and unwinds with
//    RunInterrupted, cleaning up on the way;
//  - runs are serialized by the run lock, so two runs never work on the
//    same plain files at once;
//  - the run journal lets the next run clean up after a run that was
//    killed outright, which happens first thing in Begin().
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/run_journal.h"
#include "platform/interrupts.h"
#include "platform/run_lock.h"

namespace veilbox {

// Unwinds the run to the program entry after a soft end, like RunEnded; the
// entry ends the process by it (platform::EndByInterrupt) once every
// destructor of the run has run.
class RunInterrupted {
 public:
  explicit RunInterrupted(int interrupt) : interrupt_(interrupt) {}
  int interrupt() const { return interrupt_; }

 private:
  int interrupt_;
};

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
  // comes while it waits. A lock or journal directory that cannot be used
  // does not stop the run; the run goes on without that protection.
  void Begin();

  // Before the decryption loop: records the plain files it may write.
  // False, with a text for the user, when they cannot be recorded; then no
  // plain file may be written.
  bool BeforePlainFiles(const std::vector<PlainFileEntry>& plain_files, std::string* err);
  // Before "0" is written to COMPILEOKMESSAGE in this settings file.
  void BeforeOkMessageOff(const std::string& settings_file);
  // After the clean-up loop and the restore: settles and removes the
  // journal. Also done by the destructor.
  void Settle();

  // A checkpoint: raises RunInterrupted when a soft end is pending.
  void CheckInterrupt() const;

  // What Begin() found and did, for support.
  platform::LockResult lock_result() const { return lock_result_; }
  const RecoveryReport& recovery() const { return recovery_; }

 private:
  platform::InterruptCatcher catcher_;
  RestoreOkMessage restore_;
  platform::RunLock lock_;
  platform::LockResult lock_result_ = platform::LockResult::kUnavailable;
  std::optional<RunJournal> journal_;
  RecoveryReport recovery_;
};

}  // namespace veilbox
