// The plan's two forms: text for people, JSON for scripts.
#include <string>

#include "app/run_plan.h"
#include "sysutil/json_text.h"
#include "sysutil/version.h"

namespace veilbox {
namespace {

std::string Indent(int depth) { return std::string(2 * static_cast<std::size_t>(depth), ' '); }

std::string AfterLastBackslash(const std::string& name) {
  const std::size_t at = name.rfind('\\');
  return at == std::string::npos ? name : name.substr(at + 1);
}

std::string FileLine(const PlannedFile& file) {
  std::string line = AfterLastBackslash(file.protected_name) + ": ";
  if (file.status == "ok") {
    line +=
        "ok, " + std::to_string(file.plain_lines) + (file.plain_lines == 1 ? " line" : " lines");
  } else if (file.status == "short") {
    line += "fewer than 5 lines, gives no plain file";
  } else if (file.status == "repeat") {
    line += "listed before, its plain file is written once";
  } else {
    line += file.status + ": " + file.error;
  }
  line += "; at its plain name: " + file.at_plain_name;
  if (file.stop_code != 0) line += "; the run ends here with " + std::to_string(file.stop_code);
  return line;
}

const char* KindName(PlannedStep::Kind kind) {
  switch (kind) {
    case PlannedStep::Kind::kDirectory:
      return "directory";
    case PlannedStep::Kind::kInclude:
      return "include";
    case PlannedStep::Kind::kRepeat:
      return "repeated include";
    case PlannedStep::Kind::kCycle:
      return "cyclic include";
    case PlannedStep::Kind::kMissing:
      return "missing include";
  }
  return "";
}

}  // namespace

std::string FormatRunPlan(const RunPlan& plan) {
  std::string out = "veilbox " + VersionText() + "\n";
  if (!plan.project.empty()) out += "project " + plan.project + "\n";
  if (!plan.settings_file.empty()) out += "settings file " + plan.settings_file + "\n";
  if (!plan.master_table.empty()) out += "master table " + plan.master_table + "\n";
  for (const PlannedStep& step : plan.steps) {
    switch (step.kind) {
      case PlannedStep::Kind::kDirectory:
        if (step.depth == 0) out += "directory " + step.text + "\n";
        for (std::size_t i = step.first_file; i < step.first_file + step.file_count; ++i) {
          out += Indent(step.depth + 1) + FileLine(plan.files[i]) + "\n";
        }
        break;
      case PlannedStep::Kind::kInclude:
        out += Indent(step.depth + 1) + "include " + step.text + ": " + step.dir + "\n";
        break;
      case PlannedStep::Kind::kRepeat:
        out += Indent(step.depth + 1) + "include " + step.text + ": " + step.dir +
               ", walked before: not walked again\n";
        break;
      case PlannedStep::Kind::kCycle:
        out += Indent(step.depth + 1) + "include " + step.text + ": " + step.dir +
               ", a cycle: not walked again\n";
        break;
      case PlannedStep::Kind::kMissing:
        out += Indent(step.depth + 1) + "include " + step.text +
               ": not in the master table; the rest of this include table is not followed\n";
        break;
    }
  }
  if (!plan.compiler.empty()) {
    out += "compiler " + plan.compiler + (plan.compiler_found ? "" : " (cannot be started)") + "\n";
    out += std::string("completion message ") +
           (plan.completion_message_off ? "switched off for the compile" : "left as it is") + "\n";
  }
  for (const std::string& step : plan.pending_recovery) out += "first: " + step + "\n";
  for (const auto& [dir, holder] : plan.lock_holders)
    out += "lock of " + dir + " held: " + holder + "\n";
  for (const std::string& message : plan.messages) out += "message: " + message + "\n";
  out += plan.end_code ? "the run ends with " + std::to_string(*plan.end_code) + "\n"
                       : std::string("the run reaches the compiler\n");
  return out;
}

std::string FormatRunPlanJson(const RunPlan& plan) {
  const auto list = [](const std::vector<std::string>& texts) {
    std::string out = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) out += (i ? ", " : "") + JsonString(texts[i]);
    return out + "]";
  };
  std::string out = "{\n";
  out += "  \"version\": " + JsonString(VersionText()) + ",\n";
  out += "  \"arguments\": " + list(plan.args) + ",\n";
  out += "  \"project\": " + JsonString(plan.project) + ",\n";
  out += "  \"settings_file\": " + JsonString(plan.settings_file) + ",\n";
  out += "  \"master_table\": " + JsonString(plan.master_table) + ",\n";
  out += "  \"project_directory\": " + JsonString(plan.project_dir) + ",\n";
  out += "  \"steps\": [";
  for (std::size_t s = 0; s < plan.steps.size(); ++s) {
    const PlannedStep& step = plan.steps[s];
    out += s ? ",\n" : "\n";
    out += "    {\"kind\": " + JsonString(KindName(step.kind)) +
           ", \"depth\": " + std::to_string(step.depth);
    if (step.kind == PlannedStep::Kind::kDirectory) {
      out += ", \"directory\": " + JsonString(step.text) + ", \"files\": [";
      for (std::size_t i = step.first_file; i < step.first_file + step.file_count; ++i) {
        out += (i != step.first_file ? ", " : "") + std::to_string(i);
      }
      out += "]";
    } else {
      out += ", \"name\": " + JsonString(step.text);
      if (step.kind != PlannedStep::Kind::kMissing)
        out += ", \"directory\": " + JsonString(step.dir);
    }
    out += "}";
  }
  out += plan.steps.empty() ? "],\n" : "\n  ],\n";
  out += "  \"files\": [";
  for (std::size_t i = 0; i < plan.files.size(); ++i) {
    const PlannedFile& file = plan.files[i];
    out += i ? ",\n" : "\n";
    out += "    {\"protected_file\": " + JsonString(file.protected_name) +
           ", \"plain_file\": " + JsonString(file.plain_name) +
           ", \"status\": " + JsonString(file.status);
    if (file.status == "ok") out += ", \"plain_lines\": " + std::to_string(file.plain_lines);
    if (!file.error.empty()) out += ", \"error\": " + JsonString(file.error);
    out += ", \"at_plain_name\": " + JsonString(file.at_plain_name);
    if (file.stop_code != 0) {
      out += ", \"exit_code\": " + std::to_string(file.stop_code) +
             ", \"message\": " + JsonString(file.stop_message);
    }
    out += "}";
  }
  out += plan.files.empty() ? "],\n" : "\n  ],\n";
  if (!plan.compiler.empty()) {
    out += "  \"compiler\": " + JsonString(plan.compiler) + ",\n";
    out += std::string("  \"compiler_found\": ") + (plan.compiler_found ? "true" : "false") + ",\n";
    out += std::string("  \"completion_message_off\": ") +
           (plan.completion_message_off ? "true" : "false") + ",\n";
  }
  out += "  \"pending_recovery\": " + list(plan.pending_recovery) + ",\n";
  out += "  \"lock_holders\": [";
  for (std::size_t i = 0; i < plan.lock_holders.size(); ++i)
    out += (i ? ", " : "") + std::string("{\"directory\": ") +
           JsonString(plan.lock_holders[i].first) +
           ", \"holder\": " + JsonString(plan.lock_holders[i].second) + "}";
  out += "],\n";
  out += "  \"messages\": " + list(plan.messages) + ",\n";
  out += std::string("  \"reaches_compiler\": ") + (plan.end_code ? "false" : "true");
  if (plan.end_code) out += ",\n  \"exit_code\": " + std::to_string(*plan.end_code);
  out += "\n}\n";
  return out;
}

}  // namespace veilbox
