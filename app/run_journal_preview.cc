// What the next run's recovery would do first, told without doing it: for
// the plan.
#include "app/plain_file_proof.h"
#include "app/run_journal.h"
#include "platform/files.h"

namespace veilbox {
namespace {

// What recovery would do at one recorded name.
std::string PreviewEntry(const PlainFileEntry& entry) {
  platform::EntryInfo at_name;
  std::uint32_t error = 0;
  if (!platform::InspectEntry(entry.name, &at_name, &error)) return "look at " + entry.name;
  std::string text;
  if (at_name.kind != platform::EntryKind::kMissing) {
    bool ours = false;
    if (entry.plain_stamp) {
      platform::EntryStamp now;
      ours = platform::StampOf(entry.name, &now, &error) && now == *entry.plain_stamp;
    }
    if (!ours) ours = ProvePlainFile(entry.name) == PlainFileProof::kRuns;
    if (!ours)
      return "leave " + entry.name + " in place: it cannot be proved a plain file of the run";
    text = "delete " + entry.name;
  }
  if (entry.kind == PlainFileKind::kAside &&
      platform::InspectEntry(entry.aside, &at_name, &error) &&
      at_name.kind != platform::EntryKind::kMissing) {
    platform::EntryStamp now;
    const bool same = !entry.aside_stamp ||
                      (platform::StampOf(entry.aside, &now, &error) && now == *entry.aside_stamp);
    text += (text.empty() ? "" : "; ") +
            (same ? "put " + entry.aside + " back as " + entry.name
                  : "leave " + entry.aside + " in place: it is not the entry set aside");
  }
  return text;
}

}  // namespace

std::vector<std::string> PreviewRecovery(const std::string& dir,
                                         const platform::ProcessIdentity& self,
                                         const IsProcessRunning& is_running) {
  std::vector<std::string> steps;
  std::vector<std::string> journals;
  std::uint32_t error = 0;
  if (!platform::FindFiles(dir + "\\*.journal", &journals, &error)) {
    steps.push_back("cannot list " + dir + ": the run ends with 252");
    return steps;
  }
  for (const std::string& file_name : journals) {
    const std::string path = dir + "\\" + file_name;
    std::string bytes, why;
    RunJournalRecord record;
    if (!platform::ReadWholeFile(path, platform::Share::kReadWrite, &bytes, &error)) {
      steps.push_back("cannot read " + path);
      continue;
    }
    if (!ParseRunJournal(bytes, &record, &why)) {
      steps.push_back("set aside " + path + " (" + why + ")");
      continue;
    }
    if (record.writer.pid != self.pid && is_running(record.writer)) {
      steps.push_back("leave " + path + ": its run is still running");
      continue;
    }
    for (const PlainFileEntry& entry : record.plain_files) {
      const std::string step = PreviewEntry(entry);
      if (!step.empty()) steps.push_back(step);
    }
    if (record.ok_message_suppressed)
      steps.push_back("switch the completion message back on in " + record.settings_file);
    steps.push_back("remove " + path);
  }
  return steps;
}

}  // namespace veilbox
