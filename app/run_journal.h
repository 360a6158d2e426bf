// The run journal: what a compile run has put on disk that only its own
// clean-up removes. A run writes it before its first plain file and before
// it switches the compiler's completion message off, and removes it when
// its clean-up is done. A run killed outright (SIGKILL, TerminateProcess,
// a power cut) leaves it behind, and the next run cleans up after it with
// RecoverAbandonedRuns() before it does anything else.
//
// One file per run, "compile-run-<pid>-<16 hex digits>.journal" in the
// per-user directory (earlier versions wrote "compile-run-<pid>.journal",
// which recovery still reads): the digits are drawn at random, since a
// process id comes back, and the journal is created only where nothing
// stands. Written whole to a temporary file, flushed to disk and renamed
// over the journal, so a crash in the middle leaves either the old or the
// new one.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/entry_identity.h"
#include "platform/process_identity.h"

namespace veilbox {

// What stood at a plain file's name before the run wrote it, and so what
// undoing the run means there.
enum class PlainFileKind {
  kNew,         // nothing: whatever file stands there now is the run's
  kLeftover,    // a hidden plain file of a run that was cut short: replaced
  kAside,       // someone's entry, moved to its set-aside name while the
                // plain file stands at its name, and moved back afterwards
  kHiddenOnly,  // recorded by an earlier version: the run's only while hidden
};

struct PlainFileEntry {
  std::string name;  // full name, beside its ProtectedFile
  PlainFileKind kind = PlainFileKind::kNew;
  // kAside: where the entry is kept meanwhile (SetAsideName), and the
  // entry's stamp, taken before it moves; only the entry with that stamp
  // is moved back. Journals of earlier versions name no stamp.
  std::string aside = {};
  std::optional<platform::EntryStamp> aside_stamp = std::nullopt;
  // The plain file's stamp, recorded once it is written: only the entry
  // with that stamp is the run's. Without it (a run killed before it was
  // recorded) only the proof by content tells (ProvePlainFile).
  std::optional<platform::EntryStamp> plain_stamp = std::nullopt;
  bool operator==(const PlainFileEntry&) const = default;
};

// Where someone's entry at name is kept while the plain file stands
// there: beside it, name + ".~vb" + a suffix of hex digits. A run draws 16
// digits (64 bits) at random and another draw when the name is taken;
// earlier versions used 4 digits from the run's process identity
// (LegacyAsideName), which recovery still reads.
std::string SetAsideName(const std::string& name, std::uint64_t suffix);
std::string LegacyAsideName(const std::string& name, const platform::ProcessIdentity& writer);
// A set-aside suffix drawn at random.
std::uint64_t RandomAsideSuffix();

// What one run recorded.
struct RunJournalRecord {
  platform::ProcessIdentity writer;
  std::vector<PlainFileEntry> plain_files;
  bool ok_message_suppressed = false;  // "0" written to COMPILEOKMESSAGE
  std::string settings_file;           // the settings file it was written to
};

// The journal's bytes: a text of lines, names escaped so that any byte can
// stand in them, closed by a line with a checksum of everything before it.
std::string FormatRunJournal(const RunJournalRecord& record);
// The same bytes, with plain_files in place of record.plain_files, handed
// to append piece by piece; false as soon as append gives false.
bool FormatRunJournal(const RunJournalRecord& record,
                      const std::vector<PlainFileEntry>& plain_files,
                      const std::function<bool(std::string_view piece)>& append);
// Reads the bytes back; false with a reason for anything that is not
// exactly what FormatRunJournal writes (truncated, changed, foreign).
bool ParseRunJournal(std::string_view bytes, RunJournalRecord* record, std::string* err);

// What recovery did.
struct RecoveryReport {
  std::vector<std::string> deleted;   // leftover plain files removed
  std::vector<std::string> put_back;  // entries set aside and moved back
  // Entries set aside that were not moved back: what stands at the
  // set-aside name is not the entry that was moved there. Both stay.
  std::vector<std::string> not_put_back;
  std::vector<std::string> restored;       // settings files whose message was switched on
  std::vector<std::string> journals_done;  // journals of dead runs fully handled and removed
  std::vector<std::string> left_to_live;   // journals of runs that still run
  std::vector<std::string> quarantined;    // unreadable journals renamed to *.bad
  std::vector<std::string> problems;       // what could not be done, kept for the next run
  // Empty, or why the journal directory could not be listed: then no
  // journal in it was looked at, and none may be taken for absent.
  std::string unlisted;
};

// Writes "1" to COMPILEOKMESSAGE in the [CTEDIT] section of the settings
// file; false when it cannot.
using RestoreOkMessage = std::function<bool(const std::string& settings_file)>;
using IsProcessRunning = std::function<bool(const platform::ProcessIdentity&)>;

// The name of a file of one run beside the journals: "compile-run-",
// the process id, "-", 16 hex digits of random, then extension.
std::string RunFileName(std::uint32_t pid, std::uint64_t random, std::string_view extension);

// The journal of the run in progress.
class RunJournal {
 public:
  // Draws the random part of the journal's name.
  using DrawName = std::function<std::uint64_t()>;
  RunJournal(std::string dir, platform::ProcessIdentity writer,
             DrawName draw = RandomAsideSuffix);

  const std::string& path() const { return path_; }

  // Records the plain files the run may write, each with what stands at
  // its name, one write and one flush for the lot. No plain file may be
  // created when this fails.
  bool RecordPlainFiles(const std::vector<PlainFileEntry>& plain_files, std::string* err);
  // Records that "0" is about to be written to COMPILEOKMESSAGE in this
  // settings file (as the run names it to the private-profile functions).
  bool RecordOkMessageSuppressed(const std::string& settings_file, std::string* err);
  // Removes the journal once the clean-up is done.
  bool Remove(std::string* err);
  // Checks the run's own clean-up against the journal: undoes what the
  // run recorded and still left behind beside a ProtectedFile, as
  // RecoverAbandonedRuns does; switches the completion message back on when the journal says it is
  // off; removes the journal, or keeps what could not be done for the
  // next run. Nothing when no journal was written. The names in `settled`
  // (sorted) are those the run's clean-up has just removed, and put back
  // what it set aside from them: they are not looked at again.
  void Settle(const RestoreOkMessage& restore, RecoveryReport* report,
              const std::vector<std::string>& settled = {});

 private:
  // Writes record, with plain_files as its list, as the journal: the
  // first time, creating it under a name where nothing stands; then
  // replacing it.
  bool Write(const RunJournalRecord& record, const std::vector<PlainFileEntry>& plain_files,
             std::string* err);

  std::string dir_;
  DrawName draw_;
  std::string path_;  // drawn again while the name is taken, until created
  RunJournalRecord record_;
  bool written_ = false;
  bool created_ = false;
};

// Writes the record atomically as the journal at path.
bool WriteRunJournal(const std::string& path, const RunJournalRecord& record, std::string* err);

// Cleans up after the run that wrote record as the journal at path, as
// described below, and removes that journal or rewrites it with what is
// still to do.
void SettleRunJournal(const std::string& path, const RunJournalRecord& record,
                      const RestoreOkMessage& restore, RecoveryReport* report);

// Removes a plain file of the run: clears the attributes of a file (the
// compiler may have made it read-only) and deletes whatever entry that is
// not a directory stands at the name, trying again for up to `patience`
// while it is held open. True when nothing stands there any more.
bool RemoveRunPlainFile(const std::string& name, std::chrono::milliseconds patience,
                        std::string* why);
// Moves someone's entry from its set-aside name back to its name, where
// nothing may stand by then, when it is the entry that was set aside (its
// stamp matches the recorded one; an entry recorded without a stamp by an
// earlier version is taken as it is). kNotTheEntry leaves both in place.
enum class PutBack { kDone, kNotTheEntry, kFailed };
PutBack PutBackAside(const PlainFileEntry& entry, std::string* why);

// Cleans up after every run whose journal lies in dir and whose writer no
// longer runs (`self` is the calling process: a journal naming its id is
// an old one). For each such journal and each recorded plain file beside
// its ProtectedFile (name + ".Veilbox"): removes the plain file the run
// wrote there, known by its recorded stamp or else by its content
// (ProvePlainFile), and moves back the entry it set aside when its stamp
// matches; anything else is left in place and reported; switches the completion message back on in the
// recorded settings file when that run had switched it off and the file
// still exists; then removes the journal. What cannot be done yet stays in
// the journal for the next run. A journal that cannot be parsed is never
// followed: it is renamed to *.bad.
//
// with_locks, when given, runs the settling of one journal while it holds
// the directory locks of the plain files that journal names, taken as a
// run takes them; false (with *err) when they cannot be had: that journal
// is then left as it is, for the next run.
using WithDirectoryLocks =
    std::function<bool(const std::vector<std::string>& plain_files,
                       const std::function<void()>& settle, std::string* err)>;
RecoveryReport RecoverAbandonedRuns(const std::string& dir, const platform::ProcessIdentity& self,
                                    const RestoreOkMessage& restore,
                                    const IsProcessRunning& is_running,
                                    const WithDirectoryLocks& with_locks = nullptr);

// What RecoverAbandonedRuns would do in dir, one step a text, without
// doing it (for the plan).
std::vector<std::string> PreviewRecovery(const std::string& dir,
                                         const platform::ProcessIdentity& self,
                                         const IsProcessRunning& is_running);

}  // namespace veilbox
