#include "app/run_plan.h"

#include <optional>
#include <set>

#include "app/include_walk.h"
#include "app/master_index.h"
#include "app/plain_file_plan.h"
#include "app/project_lookup.h"
#include "app/run_safety.h"
#include "app/run_settings.h"
#include "app/run_ui.h"
#include "platform/dir_lock.h"
#include "platform/files.h"
#include "platform/process_identity.h"
#include "platform/profile.h"
#include "platform/program_probe.h"
#include "platform/user_data_dir.h"
#include "protect/protected_file.h"
#include "protect/protected_file_name.h"
#include "protect/protected_file_read.h"
#include "sysutil/errors.h"
#include "sysutil/globals.h"
#include "sysutil/text_utils.h"

namespace veilbox {
namespace {

// Takes down every message the run would show, instead of showing it.
class PlanUi final : public RunUi {
 public:
  explicit PlanUi(std::vector<std::string>* messages) : messages_(messages) {}
  void ShowMessage(const std::string& text) override { messages_->push_back(text); }
  void ShowErrorDialog(const std::string& text) override { messages_->push_back(text); }
  void RestorePlacement(RegistryRoot) override {}
  void HideWindow() override {}

 private:
  std::vector<std::string>* messages_;
};

// Turns the walk's reports into the plan's steps.
class PlanWalkObserver final : public IncludeWalkObserver {
 public:
  PlanWalkObserver(RunPlan* plan, const std::vector<std::string>* collected)
      : plan_(plan), collected_(collected) {}

  void OnDirectory(const std::string& dir, std::size_t first, std::size_t count) override {
    PlannedStep step;
    step.depth = static_cast<int>(walking_.size());
    step.text = dir;
    step.first_file = plan_->files.size();
    step.file_count = count;
    plan_->steps.push_back(step);
    for (std::size_t i = first; i < first + count; ++i) {
      PlannedFile file;
      file.protected_name = (*collected_)[i];
      file.plain_name = PlainFileName(file.protected_name);
      plan_->files.push_back(std::move(file));
    }
    walking_.push_back(UpperAscii(dir));
  }
  void OnInclude(const std::string& name, const std::string* dir) override {
    PlannedStep step;
    step.kind = dir ? PlannedStep::Kind::kInclude : PlannedStep::Kind::kMissing;
    step.depth = static_cast<int>(walking_.size()) - 1;
    step.text = name;
    if (dir) step.dir = *dir;
    plan_->steps.push_back(step);
  }
  void OnRevisit(const std::string& dir) override {
    if (plan_->steps.empty() || plan_->steps.back().kind != PlannedStep::Kind::kInclude) return;
    bool on_the_way = false;
    for (const std::string& walking : walking_)
      on_the_way = on_the_way || walking == UpperAscii(dir);
    plan_->steps.back().kind = on_the_way ? PlannedStep::Kind::kCycle : PlannedStep::Kind::kRepeat;
  }
  void OnLeave(const std::string&) override {
    if (!walking_.empty()) walking_.pop_back();
  }

 private:
  RunPlan* plan_;
  const std::vector<std::string>* collected_;
  std::vector<std::string> walking_;  // upper-cased, outermost first
};

// What stands at a plain file's name, as the run's own look at it sees
// it, and whether the run stops there.
std::string AtPlainName(const std::string& plain_name, bool* stops) {
  *stops = false;
  switch (LookAtPlainFileName(plain_name)) {
    case NameHolder::kNothing:
      return "nothing";
    case NameHolder::kLeftover:
      return "hidden leftover";
    case NameHolder::kSomeonesEntry:
      return "someone's entry, set aside";
    case NameHolder::kUntouchable:
      break;
  }
  *stops = true;
  const std::uint32_t attributes = platform::FileAttributes(plain_name);
  if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory))
    return "directory";
  if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrSystem))
    return "system file";
  return "read-only file";
}

// Checks each ProtectedFile as the decryption loop would meet it, in the
// collected order; the first one at which the run would stop ends it.
void CheckFiles(RunPlan& plan) {
  std::set<std::string> written;
  for (PlannedFile& file : plan.files) {
    const std::string stop_prefix = "Unable to decrypt " + file.protected_name + ": ";
    bool stops = false;
    file.at_plain_name = AtPlainName(file.plain_name, &stops);
    if (written.count(file.plain_name)) {
      file.status = "repeat";
      continue;
    }
    std::string bytes;
    try {
      bytes = ReadProtectedFile(file.protected_name);
    } catch (const ProtectedFileReadError& e) {
      file.status = "unreadable";
      file.error = e.what();
      file.stop_code = 251;
      file.stop_message = stop_prefix + file.error;
    }
    if (file.status.empty()) {
      ProtectedTextInfo info;
      try {
        if (!DecryptProtectedText(&bytes, &info)) {
          file.status = "short";
          continue;
        }
        file.status = "ok";
        file.plain_lines = info.plain_lines;
      } catch (const Error& e) {
        file.status = "malformed";
        file.error = e.what();
        file.stop_code = 251;
        file.stop_message = stop_prefix + file.error;
      }
      if (file.status == "ok" && stops) {
        file.stop_code = 251;
        file.stop_message = stop_prefix + "Cannot create file " + file.plain_name;
      }
    }
    // Not a byte of plain text stays in memory longer than needed.
    bytes.assign(bytes.size(), '\0');
    if (file.stop_code != 0 && !plan.end_code) {
      plan.end_code = file.stop_code;
      plan.messages.push_back(file.stop_message);
    }
    if (file.stop_code == 0) written.insert(file.plain_name);
  }
}

}  // namespace

RunPlan MakeRunPlan(const std::vector<std::string>& args) {
  RunPlan plan;
  plan.args = args;
  PlanUi ui(&plan.messages);
  std::string journal_dir, why;
  if (platform::UserDataDir(&journal_dir, &why) && platform::DirectoryExists(journal_dir))
    plan.pending_recovery =
        PreviewRecovery(journal_dir, platform::CurrentProcess(), platform::ProcessIsRunning);
  try {
    const RunSettings settings = ReadRunSettings(ui, args);
    plan.project = settings.project;
    plan.settings_file = settings.settings_file;
    plan.master_table = MasterTableName(settings.master_path);
    MasterIndex index;
    plan.project_dir = FindProjectDirectory(ui, settings.master_path, settings.project, &index);

    std::vector<std::string> collected;
    PlanWalkObserver observer(&plan, &collected);
    IncludeWalk walk;
    walk.master_index = &index;
    walk.master_path = settings.master_path;
    walk.observer = &observer;
    CollectProtectedFiles(ui, plan.project_dir, collected, walk);

    // The run locks the plain files' directories before it decrypts.
    std::vector<std::string> plain_files;
    for (const std::string& entry : collected) plain_files.push_back(PlainFileName(entry));
    std::string refusal;
    std::vector<std::string> dirs;
    if (!PlainFileDirectories(plain_files, &dirs, &refusal))
      refusal = "Veilbox " + refusal + ".  Veilbox is unable to continue.";
    for (const std::string& dir : dirs) {
      const std::string holder = platform::DirLock::Holder(dir);
      if (holder.empty()) continue;
      plan.lock_holders.emplace_back(dir, holder);
      // Someone's entry at the lock's name ends the run, left as it is.
      if (holder == platform::DirLock::NotOurs(dir) && refusal.empty())
        refusal = "Veilbox cannot lock the project directory " + dir + ": " + holder +
                  ".  Veilbox is unable to continue.";
    }
    if (refusal.empty()) refusal = PlainFileDirectoriesRefusal(plain_files);
    if (!refusal.empty()) {
      plan.messages.push_back(refusal);
      plan.end_code = 252;
    }
    CheckFiles(plan);
    if (plan.end_code) return plan;

    plan.completion_message_off = platform::GetProfileValue(kSettingsSection, "COMPILEOKMESSAGE",
                                                            "1", settings.settings_file) == "1";
    const std::optional<std::string> bin_setting = ReadCompilerDirectory(settings.settings_file);
    const std::string bin = bin_setting.value_or(kBinNotDefined);
    if (!bin_setting)
      plan.messages.push_back("BIN directory not defined in " + settings.settings_file);
    plan.compiler = AddBackslash(bin) + settings.attach_name;
    plan.compiler_found = bin_setting && platform::CanStartProgram(plan.compiler, bin);
    if (!plan.compiler_found) {
      plan.messages.push_back("Veilbox Cannot Execute the the file  " + bin +
                              ".  Veilbox is unable to continue.");
      plan.end_code = 247;
    } else if (plan.completion_message_off) {
      // Shown after the compile, once the plain files are gone.
      plan.messages.push_back("Veilbox Compile Complete");
    }
  } catch (const RunEnded& end) {
    plan.end_code = end.code();
  }
  return plan;
}

}  // namespace veilbox
