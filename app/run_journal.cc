#include "app/run_journal.h"

#include "platform/atomic_file.h"
#include "platform/files.h"
#include "platform/system_error.h"

namespace veilbox {
namespace {

std::string JournalName(std::uint32_t pid) {
  return "compile-run-" + std::to_string(pid) + ".journal";
}

}  // namespace

bool WriteRunJournal(const std::string& path, const RunJournalRecord& record, std::string* err) {
  const std::string temp = path + ".tmp";
  const platform::AtomicWriteResult result =
      platform::WriteFileAtomically(path, temp, FormatRunJournal(record));
  if (!result.ok()) *err = platform::DescribeAtomicWrite(result, path, temp);
  return result.ok();
}

RunJournal::RunJournal(std::string dir, platform::ProcessIdentity writer)
    : dir_(std::move(dir)), path_(dir_ + "\\" + JournalName(writer.pid)) {
  record_.writer = writer;
}

bool RunJournal::RecordPlainFiles(const std::vector<PlainFileEntry>& plain_files,
                                  std::string* err) {
  // Until the new record is on disk, the one before it stays what the
  // run settles by.
  RunJournalRecord next = record_;
  next.plain_files = plain_files;
  if (!WriteRunJournal(path_, next, err)) return false;
  record_ = std::move(next);
  written_ = true;
  return true;
}

bool RunJournal::RecordOkMessageSuppressed(const std::string& settings_file, std::string* err) {
  RunJournalRecord next = record_;
  next.ok_message_suppressed = true;
  next.settings_file = settings_file;
  // A failed write leaves the previous record in force, and says so.
  if (!WriteRunJournal(path_, next, err)) return false;
  record_ = std::move(next);
  written_ = true;
  return true;
}

bool RunJournal::Remove(std::string* err) {
  std::uint32_t error = 0;
  if (platform::RemoveFile(path_, &error) || error == platform::kErrorFileNotFound) {
    written_ = false;
    return true;
  }
  *err = "cannot delete " + path_ + ": " + platform::SystemErrorText(error);
  return false;
}

void RunJournal::Settle(const RestoreOkMessage& restore, RecoveryReport* report) {
  if (!written_) return;
  SettleRunJournal(path_, record_, restore, report);
  written_ = false;
}

}  // namespace veilbox
