#include "app/run_journal.h"

#include <algorithm>

#include "platform/atomic_file.h"
#include "platform/files.h"
#include "platform/system_error.h"
#include "sysutil/text_utils.h"

namespace veilbox {
namespace {

// How many names a run draws before it gives up on creating its journal.
constexpr int kNameDraws = 8;

}  // namespace

bool WriteRunJournal(const std::string& path, const RunJournalRecord& record, std::string* err) {
  const std::string temp = path + ".tmp";
  const platform::AtomicWriteResult result =
      platform::WriteFileAtomically(path, temp, FormatRunJournal(record));
  if (!result.ok()) *err = platform::DescribeAtomicWrite(result, path, temp);
  return result.ok();
}

std::string RunFileName(std::uint32_t pid, std::uint64_t random, std::string_view extension) {
  return "compile-run-" + std::to_string(pid) + "-" + Hex16(random) + std::string(extension);
}

RunJournal::RunJournal(std::string dir, platform::ProcessIdentity writer, DrawName draw)
    : dir_(std::move(dir)), draw_(std::move(draw)) {
  record_.writer = writer;
  path_ = dir_ + "\\" + RunFileName(writer.pid, draw_(), ".journal");
}

bool RunJournal::Write(const RunJournalRecord& record, std::string* err) {
  if (created_) return WriteRunJournal(path_, record, err);
  // The first write creates the journal, never over an entry at its name:
  // a journal there is another run's (an earlier process with the same
  // id), kept for recovery; another name is drawn.
  for (int draw = 0;; ++draw) {
    const std::string temp = path_ + ".tmp";
    const platform::AtomicWriteResult result =
        platform::CreateFileAtomically(path_, temp, FormatRunJournal(record));
    if (result.ok()) {
      created_ = true;
      return true;
    }
    const bool taken = result.step == platform::AtomicWriteStep::kRename &&
                       (result.error == platform::kErrorFileExists ||
                        result.error == platform::kErrorAlreadyExists);
    if (!taken || draw + 1 >= kNameDraws) {
      *err = platform::DescribeAtomicWrite(result, path_, temp);
      return false;
    }
    path_ = dir_ + "\\" + RunFileName(record_.writer.pid, draw_(), ".journal");
  }
}

bool RunJournal::RecordPlainFiles(const std::vector<PlainFileEntry>& plain_files,
                                  std::string* err) {
  // Until the new record is on disk, the one before it stays what the
  // run settles by.
  RunJournalRecord next = record_;
  next.plain_files = plain_files;
  if (!Write(next, err)) return false;
  record_ = std::move(next);
  written_ = true;
  return true;
}

bool RunJournal::RecordOkMessageSuppressed(const std::string& settings_file, std::string* err) {
  RunJournalRecord next = record_;
  next.ok_message_suppressed = true;
  next.settings_file = settings_file;
  // A failed write leaves the previous record in force, and says so.
  if (!Write(next, err)) return false;
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

void RunJournal::Settle(const RestoreOkMessage& restore, RecoveryReport* report,
                        const std::vector<std::string>& settled) {
  if (!written_) return;
  if (!settled.empty()) {
    std::erase_if(record_.plain_files, [&](const PlainFileEntry& entry) {
      return std::binary_search(settled.begin(), settled.end(), entry.name);
    });
  }
  SettleRunJournal(path_, record_, restore, report);
  written_ = false;
}

}  // namespace veilbox
