// Cleaning up after runs that were killed before their own clean-up. The
// journals are outside input: a name in one is acted on only beside its
// ProtectedFile, and what is moved back comes only from the run's own
// set-aside name.
#include <thread>

#include "app/plain_file_proof.h"
#include "app/run_journal.h"
#include "platform/files.h"
#include "platform/system_error.h"
#include "protect/protected_file_name.h"

namespace veilbox {
namespace {

std::string ErrorText(const std::string& what, std::uint32_t error) {
  return what + ": " + platform::SystemErrorText(error);
}

enum class PlainOutcome { kNothing, kDone, kNotOurs, kFailed };

// Whether the entry at a recorded plain file's name is the run's: the
// entry the journal stamped once it was written is; anything else only by
// its content (a run killed before the stamp was recorded; a file that is
// the plain text, hidden, with one name, holds nothing of anyone's).
PlainFileProof ProveRecordedPlainFile(const PlainFileEntry& entry) {
  if (entry.plain_stamp) {
    platform::EntryStamp now;
    std::uint32_t error = 0;
    if (platform::StampOf(entry.name, &now, &error) && now == *entry.plain_stamp)
      return PlainFileProof::kRuns;
  }
  return ProvePlainFile(entry.name);
}

// Undoes what the run may have done at one recorded name.
PlainOutcome SettlePlainFile(const PlainFileEntry& entry, RecoveryReport* report,
                             std::string* why) {
  const std::string& name = entry.name;
  platform::EntryInfo at_name, aside;
  std::uint32_t error = 0;
  if (!platform::InspectEntry(name, &at_name, &error)) {
    *why = ErrorText("cannot look at " + name, error);
    return PlainOutcome::kFailed;
  }
  if (entry.kind == PlainFileKind::kAside) {
    if (!platform::InspectEntry(entry.aside, &aside, &error)) {
      *why = ErrorText("cannot look at " + entry.aside, error);
      return PlainOutcome::kFailed;
    }
    // Nothing set aside: what stands at the name is still its owner's.
    if (aside.kind == platform::EntryKind::kMissing) return PlainOutcome::kNothing;
  }
  bool removed = false;
  if (at_name.kind != platform::EntryKind::kMissing) {
    // What was set aside is never forgotten while it is not back: a name
    // held by someone else's entry keeps it in the journal, and the next
    // run tries again.
    const auto not_ours = [&](const std::string& what) {
      if (entry.kind == PlainFileKind::kAside) {
        *why = what + ": " + entry.aside + " stays set aside, kept for the next run";
        return PlainOutcome::kFailed;
      }
      *why = what + ": left alone";
      return PlainOutcome::kNotOurs;
    };
    if (at_name.kind == platform::EntryKind::kDirectory ||
        (entry.kind == PlainFileKind::kHiddenOnly &&
         (at_name.kind != platform::EntryKind::kFile ||
          (at_name.attributes & platform::kAttrHidden) == 0))) {
      return not_ours(name + " is not a plain file of the run");
    }
    platform::EntryInfo source;
    if (!platform::InspectEntry(name + kProtectedExtension, &source, &error)) {
      *why = ErrorText("cannot look at " + name + kProtectedExtension, error);
      return PlainOutcome::kFailed;
    }
    if (source.kind != platform::EntryKind::kFile)
      return not_ours(name + " has no ProtectedFile beside it");
    // After a kill, only the plain file the run wrote is the run's: what a
    // person put at the name since is theirs, and what was set aside stays
    // where it is rather than go over it.
    switch (ProveRecordedPlainFile(entry)) {
      case PlainFileProof::kRuns:
        break;
      case PlainFileProof::kNotRuns:
        return not_ours(name + " cannot be proved a plain file of the run");
      case PlainFileProof::kUnknown:
        *why = name + " cannot be read to tell whose it is: kept for the next run";
        return PlainOutcome::kFailed;
    }
    if (!RemoveRunPlainFile(name, std::chrono::milliseconds(0), why)) return PlainOutcome::kFailed;
    report->deleted.push_back(name);
    removed = true;
  }
  if (entry.kind == PlainFileKind::kAside) {
    switch (PutBackAside(entry, why)) {
      case PutBack::kDone:
        report->put_back.push_back(name);
        return PlainOutcome::kDone;
      case PutBack::kNotTheEntry:
        report->not_put_back.push_back(name);
        return PlainOutcome::kNotOurs;
      case PutBack::kFailed:
        return PlainOutcome::kFailed;
    }
  }
  return removed ? PlainOutcome::kDone : PlainOutcome::kNothing;
}

enum class Presence { kThere, kGone, kUnknown };

// The settings file as the private-profile functions find it: a bare name
// lies in the Windows directory. Gone only when known to be: a look that
// fails keeps the journal's note for the next run.
Presence SettingsFilePresence(const std::string& name) {
  std::string path = name;
  if (name.find_first_of("\\/:") == std::string::npos) {
    std::string windows;
    std::uint32_t error = 0;
    if (!platform::WindowsDirectory(&windows, &error)) return Presence::kUnknown;
    if (!windows.empty() && windows.back() != '\\') windows += '\\';
    path = windows + name;
  }
  platform::EntryInfo info;
  std::uint32_t error = 0;
  if (!platform::InspectEntry(path, &info, &error)) return Presence::kUnknown;
  return info.kind == platform::EntryKind::kMissing || info.kind == platform::EntryKind::kDirectory
             ? Presence::kGone
             : Presence::kThere;
}

// Renames a journal that cannot be read to *.bad, beside those set aside
// before, never over one of them.
bool Quarantine(const std::string& path) {
  std::string bad = path + ".bad";
  for (int draw = 0; draw < 8; ++draw) {
    std::uint32_t error = 0;
    if (platform::RenameNoReplace(path, bad, &error)) return true;
    if (error != platform::kErrorFileExists && error != platform::kErrorAlreadyExists) return false;
    bad = SetAsideName(path, RandomAsideSuffix()) + ".bad";
  }
  return false;
}

}  // namespace

bool RemoveRunPlainFile(const std::string& name, std::chrono::milliseconds patience,
                        std::string* why) {
  const auto give_up = std::chrono::steady_clock::now() + patience;
  const auto gone = [](std::uint32_t error) {
    return error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
  };
  std::uint32_t first_attributes = 0;  // as found, before they were cleared
  for (;;) {
    // Deleted at once, as nearly always; what stands at the name is looked
    // at only when the system refuses.
    std::uint32_t error = 0;
    if (platform::RemoveFile(name, &error) || gone(error)) return true;
    platform::EntryInfo info;
    std::uint32_t look_error = 0;
    if (!platform::InspectEntry(name, &info, &look_error)) {
      *why = ErrorText("cannot look at " + name, look_error);
      return false;
    }
    if (info.kind == platform::EntryKind::kMissing) return true;
    if (info.kind == platform::EntryKind::kDirectory) {
      *why = name + " is a directory";
      return false;
    }
    // Only read-only keeps a file from being deleted. Hidden stays on: a
    // run killed right here leaves a file the next run still proves its own.
    if (first_attributes == 0) first_attributes = info.attributes;
    if (info.kind == platform::EntryKind::kFile &&
        (info.attributes & platform::kAttrReadOnly) != 0) {
      const std::uint32_t writable = info.attributes & ~platform::kAttrReadOnly;
      platform::SetAttributes(name, writable != 0 ? writable : platform::kAttrNormal);
      if (platform::RemoveFile(name, &error) || gone(error)) return true;
    }
    const bool held =
        error == platform::kErrorSharingViolation || error == platform::kErrorAccessDenied;
    if (!held || std::chrono::steady_clock::now() >= give_up) {
      if (info.kind == platform::EntryKind::kFile &&
          (first_attributes & platform::kAttrReadOnly) != 0)
        platform::SetAttributes(name, first_attributes);
      *why = ErrorText("cannot delete " + name, error);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

PutBack PutBackAside(const PlainFileEntry& entry, std::string* why) {
  std::uint32_t error = 0;
  if (entry.aside_stamp) {
    platform::EntryStamp now;
    if (!platform::StampOf(entry.aside, &now, &error)) {
      if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound)
        return PutBack::kDone;  // already back
      *why = ErrorText("cannot look at " + entry.aside, error);
      return PutBack::kFailed;
    }
    if (now != *entry.aside_stamp) {
      *why =
          entry.aside + " is not the entry set aside from " + entry.name + ": both left in place";
      return PutBack::kNotTheEntry;
    }
  }
  if (platform::RenameNoReplace(entry.aside, entry.name, &error)) return PutBack::kDone;
  platform::EntryInfo info;
  if (platform::InspectEntry(entry.aside, &info, &error) &&
      info.kind == platform::EntryKind::kMissing)
    return PutBack::kDone;  // already back
  *why = ErrorText("cannot move " + entry.aside + " back to " + entry.name, error);
  return PutBack::kFailed;
}

void SettleRunJournal(const std::string& path, const RunJournalRecord& record,
                      const RestoreOkMessage& restore, RecoveryReport* report) {
  std::string why;
  std::uint32_t error = 0;
  RunJournalRecord rest;
  rest.writer = record.writer;
  for (const PlainFileEntry& entry : record.plain_files) {
    switch (SettlePlainFile(entry, report, &why)) {
      case PlainOutcome::kDone:
      case PlainOutcome::kNothing:
        break;
      case PlainOutcome::kNotOurs:
        report->problems.push_back(why);
        break;
      case PlainOutcome::kFailed:
        report->problems.push_back(why);
        rest.plain_files.push_back(entry);
        break;
    }
  }
  if (record.ok_message_suppressed) {
    const Presence settings = SettingsFilePresence(record.settings_file);
    if (settings == Presence::kGone) {
      report->problems.push_back(record.settings_file + " no longer exists: not restored");
    } else if (settings == Presence::kThere && restore(record.settings_file)) {
      report->restored.push_back(record.settings_file);
    } else {
      report->problems.push_back("cannot restore the completion message in " +
                                 record.settings_file + ": kept for the next run");
      rest.ok_message_suppressed = true;
      rest.settings_file = record.settings_file;
    }
  }
  if (rest.plain_files.empty() && !rest.ok_message_suppressed) {
    if (platform::RemoveFile(path, &error))
      report->journals_done.push_back(path);
    else
      report->problems.push_back("cannot delete " + path + ": " + platform::SystemErrorText(error) +
                                 ")");
  } else if (!WriteRunJournal(path, rest, &why)) {
    report->problems.push_back(why);
  }
}

RecoveryReport RecoverAbandonedRuns(const std::string& dir, const platform::ProcessIdentity& self,
                                    const RestoreOkMessage& restore,
                                    const IsProcessRunning& is_running,
                                    const WithDirectoryLocks& with_locks) {
  RecoveryReport report;
  std::vector<std::string> journals;
  std::uint32_t list_error = 0;
  if (!platform::FindFiles(dir + "\\*.journal", &journals, &list_error)) {
    report.unlisted = ErrorText("cannot list " + dir, list_error);
    return report;
  }
  for (const std::string& file_name : journals) {
    const std::string path = dir + "\\" + file_name;
    std::string bytes;
    std::uint32_t error = 0;
    platform::EntryInfo info;
    if (!platform::InspectEntry(path, &info, &error)) {
      // Not known to be no journal: kept, and looked at again next time.
      report.problems.push_back(ErrorText("cannot look at " + path, error));
      continue;
    }
    if (info.kind == platform::EntryKind::kMissing || info.kind == platform::EntryKind::kDirectory)
      continue;
    if (!platform::ReadWholeFile(path, platform::Share::kReadWrite, &bytes, &error)) {
      report.problems.push_back("cannot read " + path + ": " + platform::SystemErrorText(error));
      continue;
    }
    RunJournalRecord record;
    std::string why;
    if (!ParseRunJournal(bytes, &record, &why)) {
      if (Quarantine(path))
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
    if (!with_locks) {
      SettleRunJournal(path, record, restore, &report);
      continue;
    }
    // Another installation may be compiling in those directories right
    // now: its plain files stand at the very names this journal records.
    std::vector<std::string> names;
    for (const PlainFileEntry& entry : record.plain_files) names.push_back(entry.name);
    if (!with_locks(
            names, [&] { SettleRunJournal(path, record, restore, &report); }, &why))
      report.problems.push_back("cannot settle " + path + ": " + why);
  }
  return report;
}

}  // namespace veilbox
