// Cleaning up after runs that were killed before their own clean-up. The
// journals are outside input: a name in one is acted on only when it still
// looks exactly like a plain file of this program.
#include "app/run_journal.h"
#include "platform/files.h"

namespace veilbox {
namespace {

constexpr char kProtectedExtension[] = ".Veilbox";

enum class PlainOutcome { kGone, kDeleted, kNotOurs, kFailed };

PlainOutcome RemoveLeftoverPlainFile(const std::string& name, std::string* why) {
  const std::uint32_t attributes = platform::GetFileAttributes(name);
  if (attributes == platform::kInvalidAttributes) return PlainOutcome::kGone;
  if ((attributes & platform::kAttrDirectory) != 0 || (attributes & platform::kAttrHidden) == 0) {
    *why = name + " is not a hidden file: left alone";
    return PlainOutcome::kNotOurs;
  }
  if (!platform::FileExists(name + kProtectedExtension)) {
    *why = name + " has no ProtectedFile beside it: left alone";
    return PlainOutcome::kNotOurs;
  }
  std::uint32_t error = 0;
  if (platform::DeleteFile(name, &error)) return PlainOutcome::kDeleted;
  *why = "cannot delete " + name + " (error " + std::to_string(error) + ")";
  return PlainOutcome::kFailed;
}

// The settings file as the private-profile functions find it: a bare name
// lies in the Windows directory.
bool SettingsFileExists(const std::string& name) {
  if (name.find_first_of("\\/:") != std::string::npos) return platform::FileExists(name);
  std::string windows;
  std::uint32_t error = 0;
  if (!platform::GetWindowsDirectory(&windows, &error)) return false;
  if (!windows.empty() && windows.back() != '\\') windows += '\\';
  return platform::FileExists(windows + name);
}

}  // namespace

void SettleRunJournal(const std::string& path, const RunJournalRecord& record,
                      const RestoreOkMessage& restore, RecoveryReport* report) {
  std::string why;
  std::uint32_t error = 0;
  RunJournalRecord rest;
  rest.writer = record.writer;
  for (const std::string& name : record.plain_files) {
    switch (RemoveLeftoverPlainFile(name, &why)) {
      case PlainOutcome::kDeleted:
        report->deleted.push_back(name);
        break;
      case PlainOutcome::kGone:
        break;
      case PlainOutcome::kNotOurs:
        report->problems.push_back(why);
        break;
      case PlainOutcome::kFailed:
        report->problems.push_back(why);
        rest.plain_files.push_back(name);
        break;
    }
  }
  if (record.ok_message_suppressed) {
    if (!SettingsFileExists(record.settings_file)) {
      report->problems.push_back(record.settings_file + " no longer exists: not restored");
    } else if (restore(record.settings_file)) {
      report->restored.push_back(record.settings_file);
    } else {
      report->problems.push_back("cannot restore the completion message in " +
                                 record.settings_file);
      rest.ok_message_suppressed = true;
      rest.settings_file = record.settings_file;
    }
  }
  if (rest.plain_files.empty() && !rest.ok_message_suppressed) {
    if (platform::DeleteFile(path, &error))
      report->journals_done.push_back(path);
    else
      report->problems.push_back("cannot delete " + path + " (error " + std::to_string(error) +
                                 ")");
  } else if (!WriteRunJournal(path, rest, &why)) {
    report->problems.push_back(why);
  }
}

RecoveryReport RecoverAbandonedRuns(const std::string& dir, const platform::ProcessIdentity& self,
                                    const RestoreOkMessage& restore,
                                    const IsProcessRunning& is_running) {
  RecoveryReport report;
  for (const std::string& file_name : platform::FindFiles(dir + "\\*.journal")) {
    const std::string path = dir + "\\" + file_name;
    if (!platform::FileExists(path)) continue;
    std::string bytes;
    std::uint32_t error = 0;
    if (!platform::ReadWholeFile(path, platform::Share::kReadWrite, &bytes, &error)) {
      report.problems.push_back("cannot read " + path + " (error " + std::to_string(error) + ")");
      continue;
    }
    RunJournalRecord record;
    std::string why;
    if (!ParseRunJournal(bytes, &record, &why)) {
      if (platform::RenameReplace(path, path + ".bad", &error))
        report.quarantined.push_back(path);
      else
        report.problems.push_back("cannot set aside " + path + " (" + why + ")");
      continue;
    }
    // Our own id on a journal means an earlier process had it: ours is not
    // written yet.
    if (record.writer.pid != self.pid && is_running(record.writer)) {
      report.left_to_live.push_back(path);
      continue;
    }
    SettleRunJournal(path, record, restore, &report);
  }
  return report;
}

}  // namespace veilbox
