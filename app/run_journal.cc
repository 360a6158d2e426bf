#include "app/run_journal.h"

#include <algorithm>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/files.h"
#include "platform/system_error.h"
#include "sysutil/text_utils.h"

namespace veilbox {
namespace {

// How many names a run draws before it gives up on creating its journal.
constexpr int kNameDraws = 8;

}  // namespace

namespace {

// The journal's bytes of record, with plain_files as its list, as they go
// to the file.
platform::BytePieces JournalPieces(const RunJournalRecord& record,
                                   const std::vector<PlainFileEntry>& plain_files) {
  return [&record, &plain_files](const platform::AppendBytes& append) {
    return FormatRunJournal(record, plain_files, append);
  };
}

}  // namespace

bool WriteRunJournal(const std::string& path, const RunJournalRecord& record, std::string* err) {
  const std::string temp = path + ".tmp";
  const platform::AtomicWriteResult result =
      platform::WriteFileAtomically(path, temp, JournalPieces(record, record.plain_files));
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

bool RunJournal::Write(const RunJournalRecord& record,
                       const std::vector<PlainFileEntry>& plain_files, std::string* err) {
  const platform::BytePieces bytes = JournalPieces(record, plain_files);
  if (created_) {
    const std::string temp = path_ + ".tmp";
    const platform::AtomicWriteResult result = platform::WriteFileAtomically(path_, temp, bytes);
    if (!result.ok()) *err = platform::DescribeAtomicWrite(result, path_, temp);
    return result.ok();
  }
  // The first write creates the journal, never over an entry at its name:
  // a journal there is another run's (an earlier process with the same
  // id), kept for recovery; another name is drawn.
  for (int draw = 0;; ++draw) {
    const std::string temp = path_ + ".tmp";
    const platform::AtomicWriteResult result = platform::CreateFileAtomically(path_, temp, bytes);
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
  // run settles by. The list goes to the file from where it lies and is
  // kept once: at many thousand plain files a second copy weighs.
  if (!Write(record_, plain_files, err)) return false;
  record_.plain_files = plain_files;
  written_ = true;
  return true;
}

bool RunJournal::RecordOkMessageSuppressed(const std::string& settings_file, std::string* err) {
  // A failed write leaves the previous record in force, and says so.
  const bool was_suppressed = record_.ok_message_suppressed;
  std::string was_file = std::exchange(record_.settings_file, settings_file);
  record_.ok_message_suppressed = true;
  if (!Write(record_, record_.plain_files, err)) {
    record_.ok_message_suppressed = was_suppressed;
    record_.settings_file = std::move(was_file);
    return false;
  }
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
