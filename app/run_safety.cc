#include "app/run_safety.h"

#include "app/journal_temp_sweep.h"
#include "platform/user_data_dir.h"

namespace veilbox {

RunSafety::RunSafety(RestoreOkMessage restore) : restore_(std::move(restore)) {}

RunSafety::~RunSafety() { Settle(); }

void RunSafety::Begin() {
  std::string err;
  lock_result_ = lock_.Acquire(-1, &err);
  if (lock_result_ == platform::LockResult::kInterrupted)
    throw RunInterrupted(platform::PendingInterrupt());
  std::string dir;
  if (!platform::UserDataDir(&dir, &err)) return;
  const platform::ProcessIdentity self = platform::CurrentProcess();
  SweepJournalTemps(dir, self, platform::ProcessIsRunning);
  recovery_ = RecoverAbandonedRuns(dir, self, restore_, platform::ProcessIsRunning);
  journal_.emplace(dir, self);
}

bool RunSafety::BeforePlainFiles(const std::vector<PlainFileEntry>& plain_files, std::string* err) {
  std::string why = "no directory for it";
  if (journal_ && journal_->RecordPlainFiles(plain_files, &why)) return true;
  *err = "Veilbox cannot record the files it is about to write in its run journal: " + why;
  return false;
}

void RunSafety::BeforeOkMessageOff(const std::string& settings_file) {
  std::string err;
  if (journal_) journal_->RecordOkMessageSuppressed(settings_file, &err);
}

void RunSafety::Settle() {
  if (journal_) journal_->Settle(restore_, &recovery_);
}

void RunSafety::CheckInterrupt() const {
  if (int interrupt = platform::PendingInterrupt(); interrupt != 0) throw RunInterrupted(interrupt);
}

}  // namespace veilbox
