// veilbox-protect plan against the installations of the scenario table:
// what it prints and its exit status, and that it leaves every file as it
// was (no plain text anywhere, Citect.ini unchanged).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "platform/dir_lock.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "testing/dbf_writer.h"
#include "testing/e2e/e2e_scenario.h"

namespace veilbox::e2e {
namespace {

struct PlanCase {
  const char* name;
  std::vector<std::string> args;
  std::function<void(Install&)> change;
  int status;
  // Lines the plan prints, each found in its output in this order; {BAD}
  // stands for the malformed ProtectedFile's error text.
  std::vector<std::string> lines;
  // Lines found anywhere (the files of one directory come in the order of
  // the directory search).
  std::vector<std::string> anywhere = {};
};

void PrintTo(const PlanCase& c, std::ostream* out) { *out << c.name; }

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

const PlanCase kPlanCases[] = {
    {"GoodLayoutListsEveryProtectedFile",
     {"/Z", "MYPROJ"},
     [](Install& s) { s.files["Proj\\MyProj\\Secret.ci.Veilbox"] = Protect({kSecret}); },
     0,
     {"project MYPROJ", "directory " + Proj("MyProj"), "include Alpha: " + Proj("Alpha"),
      "  ALPHA.CI.VEILBOX: ok, 1 line", "include gamma: " + Proj("Gamma"),
      "include MYPROJ: " + Proj("MyProj") + ", a cycle: not walked again",
      "include Beta: " + Proj("Beta"), "include Gamma: " + Proj("Gamma") + ", walked before",
      "include Dup: " + Proj("Dup1"), "include Old: " + Proj("Old"), "OLD.CI.VEILBOX: ok",
      "compiler " + kBin + "\\ctcomp.exe", "completion message switched off for the compile",
      "the run reaches the compiler"},
     {"  MAIN.CI.VEILBOX: ok, 2 lines; at its plain name: nothing",
      "  SECRET.CI.VEILBOX: ok, 1 line", "  LOWER.CI.VEILBOX: ok, 1 line"}},
    {"MalformedProtectedFile",
     {"MYPROJ"},
     [](Install& s) { s.files["Proj\\Beta\\Bad.ci.Veilbox"] = MalformedProtected(); },
     1,
     {"BAD.CI.VEILBOX: malformed: {BAD}", "the run ends here with 251",
      "message: Unable to decrypt C:\\VBE\\PROJ\\BETA\\BAD.CI.VEILBOX: {BAD}",
      "the run ends with 251"}},
    {"MissingInclude",
     {"Solo"},
     [](Install& s) {
       s.files["Proj\\Solo\\Include.dbf"] =
           veilbox::testing::MakeIncludeDbf({{{"Nowhere"}}, {{"Alpha"}}});
     },
     0,
     {"SOLO.CI.VEILBOX: ok", "include Nowhere: not in the master table",
      "message: Unable to find include \"Nowhere\" in Table " + kUser + "\\Master.dbf.",
      "the run reaches the compiler"}},
    {"ReadOnlyFileInTheWay",
     {"Solo"},
     [](Install& s) {
       s.files["Proj\\Solo\\Solo.ci"] = "the user's own copy";
       s.attributes["Proj\\Solo\\Solo.ci"] = platform::kAttrReadOnly;
     },
     1,
     {"SOLO.CI.VEILBOX: ok, 1 line; at its plain name: read-only file; the run ends here with 251",
      "message: Unable to decrypt C:\\VBE\\PROJ\\SOLO\\SOLO.CI.VEILBOX: Cannot create file "
      "C:\\VBE\\PROJ\\SOLO\\SOLO.CI",
      "the run ends with 251"}},
    // Someone's file at the lock's name: the run ends before decrypting,
    // and the plan says whose the lock's name is.
    {"SomeonesFileAtTheLocksName",
     {"Solo"},
     [](Install& s) { s.files["Proj\\Solo\\~Veilbox.lock"] = "my notes"; },
     1,
     {"lock of C:\\VBE\\PROJ\\SOLO\\ held: ", "~Veilbox.lock is not Veilbox's lock file",
      "message: Veilbox cannot lock the project directory C:\\VBE\\PROJ\\SOLO\\: ",
      "the run ends with 252"}},
    // A lock file that a run which died left behind: held by no one, and
    // the run takes it over.
    {"LockFileOfADeadRunIsNotHeld",
     {"--json", "Solo"},
     [](Install& s) {
       s.files["Proj\\Solo\\~Veilbox.lock"] =
           std::string(platform::kDirLockFirstLine) + "\n2147483632\n";
     },
     0,
     {"\"lock_holders\": []", "\"reaches_compiler\": true"}},
    {"SomeonesFileIsSetAside",
     {"Solo"},
     [](Install& s) { s.files["Proj\\Solo\\Solo.ci"] = "the user's own copy"; },
     0,
     {"SOLO.CI.VEILBOX: ok, 1 line; at its plain name: someone's entry, set aside",
      "the run reaches the compiler"}},
    {"ProjectNotInTheMasterTable",
     {"Nope"},
     NoChange,
     1,
     {"message: Unable to find Project \"Nope\" in Table " + kUser + "\\Master.dbf.",
      "the run ends with 250"}},
    // Options count only before the compile's arguments; none at all is a
    // run without a project.
    {"NoArgumentsIsTheRunsOwnEnd",
     {},
     NoChange,
     1,
     {"message: Nothing to Compile, No parameters Passed", "the run ends with 253"}},
    {"ArgumentsAfterTheProjectAreTheCompiles",
     {"-h", "Solo", "--json"},
     NoChange,
     0,
     {"SOLO.CI.VEILBOX: ok", "the run reaches the compiler"}},
    {"JsonForScripts",
     {"--json", "Solo"},
     NoChange,
     0,
     {"\"project\": \"Solo\"", "\"status\": \"ok\", \"plain_lines\": 1",
      "\"at_plain_name\": \"nothing\"", "\"reaches_compiler\": true"}},
};

class Plan : public ::testing::TestWithParam<PlanCase> {};

TEST_P(Plan, ShowsTheRunAndWritesNothing) {
  const PlanCase& c = GetParam();
  Machine machine(kRoot);
  Install setup;
  c.change(setup);
  const std::string windows_dir = LayOut(machine, setup);
  const auto before = Snapshot(kRoot);
  const auto settings_before = Snapshot(windows_dir);

  std::vector<std::string> args = {"plan"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  std::string out;
  EXPECT_EQ(machine.RunTool("veilbox-protect", args, &out), c.status) << out;
  // The Windows build writes its text with CR LF line ends.
  out.erase(std::remove(out.begin(), out.end(), '\r'), out.end());
  std::size_t at = 0;
  for (const std::string& line : c.lines) {
    const std::string wanted = Replaced(line, "{BAD}", DecryptErrorText(MalformedProtected()));
    const std::size_t found = out.find(wanted, at);
    ASSERT_NE(found, std::string::npos) << "\"" << wanted << "\" not found in order in:\n" << out;
    at = found + wanted.size();
  }
  for (const std::string& line : c.anywhere)
    EXPECT_NE(out.find(line), std::string::npos) << "\"" << line << "\" not found in:\n" << out;
  EXPECT_EQ(out.find(kSecret), std::string::npos);
  EXPECT_EQ(Snapshot(kRoot), before);
  EXPECT_EQ(Snapshot(windows_dir), settings_before);
  EXPECT_EQ(platform::GetProfileValue("CTEDIT", "COMPILEOKMESSAGE", "(missing)",
                                      windows_dir + "Citect.ini"),
            "1");
  EXPECT_TRUE(FilesHoldingTheSecret(kRoot).empty());
}

INSTANTIATE_TEST_SUITE_P(Table, Plan, ::testing::ValuesIn(kPlanCases),
                         [](const ::testing::TestParamInfo<PlanCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace veilbox::e2e
