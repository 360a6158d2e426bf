// veilbox-protect plan against the run itself, on random layouts: for each
// seed a layout is drawn (missing, cyclic, repeated and deep includes,
// deleted master records, odd case, malformed and short ProtectedFiles,
// entries at plain names, missing settings, /I and /O, arguments with
// blanks, a compiler that cannot be started, a project directory where no
// file can be created, bad stored window positions, no arguments), `plan
// --json` is asked, then Veilbox runs with the recording compiler. The
// run's exit code, the plain files the compiler saw and the messages must
// be what the plan said, and the plan must have changed nothing and
// printed no plain text.
//
// VEILBOX_PLAN_SEEDS=FIRST:COUNT picks other seeds (see
// docs/development.md); a disagreement names its seed and its layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "sysutil/text_utils.h"
#include "testing/dbf_writer.h"
#include "testing/e2e/e2e_scenario.h"
#include "testing/record_text.h"
#include "testing/test_support.h"

namespace veilbox::e2e {
namespace {

using veilbox::testing::DbfRecord;
using veilbox::testing::MakeIncludeDbf;

constexpr int kCompilerExit = 7;

// One drawn layout: the installation, the run's arguments, what is done to
// the tree after it is laid out, and the words that describe it.
struct Layout {
  Install install;
  std::vector<std::string> args;
  bool compiler_not_a_program = false;
  bool compiler_not_executable = false;
  std::string read_only_project;  // a project directory made read-only
  std::vector<std::string> description;
};

const std::vector<std::string> kProjects = {"Alpha", "Beta", "Gamma", "Delta", "Solo"};

std::string OddCase(std::mt19937& rng, std::string name) {
  for (char& c : name)
    if (rng() % 2) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c >= 'A' && c <= 'Z' ? c + 32 : c);
  return name;
}

Layout Draw(unsigned seed) {
  std::mt19937 rng(seed);
  const auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
  const auto pick = [&](const std::vector<std::string>& from) { return from[rng() % from.size()]; };
  Layout l;
  Install& s = l.install;
  auto& say = l.description;
  s.files.clear();
  s.master.clear();
  for (const std::string& p : kProjects) {
    const bool deleted = chance(8);
    s.master.push_back({{p, Proj(p)}, deleted});
    if (deleted) say.push_back(p + " deleted in the master table");
    const int files = static_cast<int>(rng() % 3);
    for (int i = 0; i < files; ++i) {
      const std::string name = "Proj\\" + p + "\\" + OddCase(rng, p + std::to_string(i)) + ".ci.Veilbox";
      const int kind = static_cast<int>(rng() % 20);
      if (kind == 0) {
        s.files[name] = MalformedProtected();
        say.push_back(name + " malformed");
      } else if (kind == 1) {
        s.files[name] = "short\r\n";
        say.push_back(name + " short");
      } else {
        s.files[name] = Protect({kSecret, p});
      }
      const std::string plain = name.substr(0, name.size() - 8);
      if (chance(6)) {
        s.files[plain] = "someone's own";
        say.push_back(plain + " stands");
        if (chance(40)) {
          s.attributes[plain] = platform::kAttrReadOnly;
          say.push_back(plain + " read-only");
        }
      }
    }
    if (chance(60)) {
      std::vector<DbfRecord> includes;
      const int count = static_cast<int>(rng() % 4);
      for (int i = 0; i < count; ++i) {
        const std::string target = chance(10) ? "Nowhere" : OddCase(rng, pick(kProjects));
        includes.push_back({{target}, chance(8)});
      }
      s.files["Proj\\" + p + "\\Include.dbf"] = MakeIncludeDbf(includes);
      std::string text = p + " includes";
      for (const DbfRecord& r : includes) text += " " + r.values[0] + (r.deleted ? "(deleted)" : "");
      say.push_back(text);
    }
  }
  // The settings.
  if (chance(4)) {
    const std::string key = pick({"CitectDir", "CompExe", "AttachName", "CitectVer"});
    s.registry.erase(key);
    say.push_back("no registry value " + key);
  }
  std::optional<std::string> compileok = pick({"1", "0", "1", ""});
  std::string bin = kBin;
  if (chance(4)) {
    bin = "";
    say.push_back("no BIN");
  }
  std::string user = kUser;
  if (chance(3)) {
    user = "";
    say.push_back("no USER");
  }
  std::string settings_name = "Citect.ini";
  if (chance(10)) {
    settings_name = "Other Citect.ini";
    l.args.push_back(std::string(chance(50) ? "/I" : "/O") + settings_name);
    say.push_back("settings " + l.args.back());
  }
  s.settings.clear();
  if (chance(3)) {
    say.push_back("no settings file");
  } else {
    s.settings[settings_name] = CitectIni(user, bin, compileok);
  }
  s.compiler_settings = settings_name;
  say.push_back("COMPILEOKMESSAGE=" + compileok.value_or(""));
  if (chance(5)) {
    const bool machine_wide = chance(50);
    s.registry_extra = std::string("[HKEY_") + (machine_wide ? "LOCAL_MACHINE" : "CURRENT_USER") +
                       "\\Software\\Talvoren\\Veilbox\\Forms]\r\n" +
                       (chance(50) ? "\"FrmMainLeft\"=\"abc\"\r\n\r\n" : "\"FrmMainLeft\"=\"5\"\r\n\r\n");
    say.push_back("placement " + s.registry_extra.substr(0, s.registry_extra.find('\r')));
  }
  if (chance(6)) {
    l.compiler_not_a_program = true;
    say.push_back("compiler not a program");
  } else if (chance(6)) {
    l.compiler_not_executable = true;
    say.push_back("compiler not executable");
  }
  if (chance(8)) {
    l.read_only_project = pick(kProjects);
    say.push_back(l.read_only_project + " directory read-only");
  }
  // The arguments.
  if (chance(4)) {
    l.args.clear();
    say.push_back("no arguments");
    return l;
  }
  if (chance(15)) l.args.push_back(pick({"/Z", "-x", "-o C:\\Out Dir\\"}));
  if (!chance(3)) {
    std::string project = chance(5) ? "Nope" : OddCase(rng, pick(kProjects));
    if (chance(8)) {
      project = "My Project";
      s.master.push_back({{project, Proj(project)}});
      s.files["Proj\\My Project\\Spaced.ci.Veilbox"] = Protect({kSecret});
    }
    l.args.push_back(project);
  }
  std::string text = "arguments";
  for (const std::string& a : l.args) text += " [" + a + "]";
  say.push_back(text);
  return l;
}

// A JSON string at text[*at] (its opening quote), unescaped; *at moves
// past it.
std::string JsonStringAt(const std::string& text, std::size_t* at) {
  std::string out;
  std::size_t i = *at + 1;
  for (; i < text.size() && text[i] != '"'; ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 'n') out += '\n';
    else if (c == 'r') out += '\r';
    else if (c == 't') out += '\t';
    else if (c == 'u' && i + 4 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 4), nullptr, 16));
      i += 4;
    } else out += c;
  }
  *at = i + 1;
  return out;
}

// The strings of a JSON list under key.
std::vector<std::string> JsonList(const std::string& text, const std::string& key) {
  std::vector<std::string> out;
  std::size_t at = text.find("\"" + key + "\": [");
  if (at == std::string::npos) return out;
  at = text.find('[', at) + 1;
  while (at < text.size() && text[at] != ']') {
    if (text[at] == '"') out.push_back(JsonStringAt(text, &at));
    else ++at;
  }
  return out;
}

// The plain files the plan says the run writes (upper-cased, below Proj):
// those of files that decrypt and stop nothing.
std::set<std::string> PlannedPlainFiles(const std::string& json) {
  std::set<std::string> out;
  const std::string prefix = UpperAscii(kRoot + "\\Proj\\");
  for (std::size_t at = json.find("{\"protected_file\""); at != std::string::npos;
       at = json.find("{\"protected_file\"", at + 1)) {
    const std::string entry = json.substr(at, json.find('}', at) - at);
    std::size_t p = entry.find("\"plain_file\": ") + 14;
    const std::string plain = UpperAscii(JsonStringAt(entry, &p));
    if (entry.find("\"status\": \"ok\"") == std::string::npos ||
        entry.find("\"exit_code\"") != std::string::npos)
      continue;
    if (plain.compare(0, prefix.size(), prefix) == 0) out.insert(plain.substr(prefix.size()));
  }
  return out;
}

// The seeds to try: VEILBOX_PLAN_SEEDS=FIRST:COUNT, else a fixed range.
std::pair<unsigned, unsigned> Seeds() {
  const char* given = std::getenv("VEILBOX_PLAN_SEEDS");
  if (!given || !*given) return {1, 60};
  const std::string text = given;
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return {static_cast<unsigned>(std::stoul(text)), 1};
  return {static_cast<unsigned>(std::stoul(text.substr(0, colon))),
          static_cast<unsigned>(std::stoul(text.substr(colon + 1)))};
}

void Arrange(const Layout& l) {
  namespace fs = std::filesystem;
  const fs::path compiler = platform::NativePath(kBin + "\\ctcomp.exe");
  if (l.compiler_not_a_program) Write(kBin + "\\ctcomp.exe", "not a program\r\n");
  if (l.compiler_not_executable && fs::exists(compiler))
    fs::permissions(compiler, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::remove);
  if (!l.read_only_project.empty() && fs::exists(platform::NativePath(Proj(l.read_only_project))))
    fs::permissions(platform::NativePath(Proj(l.read_only_project)),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

// Gives the directory back its write access, so the tree can be removed.
void Unarrange(const Layout& l) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!l.read_only_project.empty())
    fs::permissions(platform::NativePath(Proj(l.read_only_project)), fs::perms::owner_all,
                    fs::perm_options::add, ec);
}

std::string Describe(unsigned seed, const Layout& l) {
  std::string text = "seed " + std::to_string(seed) + ":";
  for (const std::string& part : l.description) text += "\n  " + part;
  return text;
}

TEST(PlanAgainstTheRun, RandomLayouts) {
  const auto [first, count] = Seeds();
  for (unsigned seed = first; seed < first + count; ++seed) {
    const Layout l = Draw(seed);
    SCOPED_TRACE(Describe(seed, l));
    Machine machine(kRoot);
    const std::string windows_dir = LayOut(machine, l.install);
    Arrange(l);

    const auto before = Snapshot(kRoot);
    const auto settings_before = Snapshot(windows_dir);
    std::vector<std::string> plan_args = {"plan", "--json", "--"};
    plan_args.insert(plan_args.end(), l.args.begin(), l.args.end());
    std::string json;
    const int plan_status = machine.RunTool("veilbox-protect", plan_args, &json);
    json.erase(std::remove(json.begin(), json.end(), '\r'), json.end());
    EXPECT_EQ(Snapshot(kRoot), before) << "the plan wrote below the root";
    EXPECT_EQ(Snapshot(windows_dir), settings_before) << "the plan wrote a settings file";
    EXPECT_EQ(json.find(kSecret), std::string::npos) << "the plan printed plain text";

    const bool reaches = json.find("\"reaches_compiler\": true") != std::string::npos;
    EXPECT_EQ(plan_status, reaches ? 0 : 1) << json;
    int planned_code = kCompilerExit;
    if (!reaches) {
      const std::size_t at = json.find("\"exit_code\": ", json.find("\"reaches_compiler\""));
      ASSERT_NE(at, std::string::npos) << json;
      planned_code = std::stoi(json.substr(at + 13));
    }
    const std::vector<std::string> planned_messages = JsonList(json, "messages");
    const std::set<std::string> planned_files = PlannedPlainFiles(json);

    machine.WriteOutsideFile(kRecord, "");
    std::filesystem::remove(platform::NativePath(kRecord));
    Machine::SetEnv("VEILBOX_FAKE_RECORD", kRecord);
    Machine::SetEnv("VEILBOX_FAKE_ROOT", kRoot + "\\Proj");
    Machine::SetEnv("VEILBOX_FAKE_EXIT", std::to_string(kCompilerExit));
    Machine::SetEnv("VEILBOX_FAKE_INI", windows_dir + l.install.compiler_settings);
    for (const char* name : {"VEILBOX_FAKE_READONLY", "VEILBOX_FAKE_WAIT_FOR"})
      Machine::SetEnv(name, "");
    const RunResult run = machine.RunVeilbox(l.args);
    Unarrange(l);

    std::vector<std::string> messages;
    for (const Box& box : run.boxes) messages.push_back(box.text);
    std::set<std::string> seen;
    const std::string record = veilbox::testing::ReadFileBytes(platform::NativePath(kRecord));
    for (const auto& [key, value] : veilbox::testing::ParseRecords(record))
      if (key == "plain") seen.insert(UpperAscii(value));

    // Someone's own files at plain names the run does not write stay, and
    // the compiler sees them too.
    for (const auto& [name, what] : before) {
      if (name.compare(0, 5, "Proj/") != 0) continue;
      std::string windows_name = name.substr(5);
      std::replace(windows_name.begin(), windows_name.end(), '/', '\\');
      windows_name = UpperAscii(windows_name);
      if (!planned_files.count(windows_name)) seen.erase(windows_name);
    }

    EXPECT_EQ(run.exit_code, planned_code) << json;
    EXPECT_EQ(messages, planned_messages) << json;
    EXPECT_EQ(!record.empty(), reaches) << json;
    if (reaches) {
      EXPECT_EQ(seen, planned_files) << json << record;
    }
    if (::testing::Test::HasFailure()) break;  // the first disagreement is enough
  }
}

}  // namespace
}  // namespace veilbox::e2e
