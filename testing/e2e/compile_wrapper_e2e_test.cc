// End-to-end scenarios of the compile wrapper: one table, run against the
// native build and against veilbox.exe under Wine (the fixture is in
// e2e_scenario.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "platform/files.h"
#include "platform/profile.h"
#include "protect/protected_file.h"
#include "sysutil/errors.h"
#include "sysutil/text_utils.h"
#include "testing/dbf_writer.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/e2e/e2e_scenario.h"
#include "testing/record_text.h"
#include "testing/test_support.h"

namespace veilbox::e2e {
namespace {

using veilbox::testing::DbfRecord;

const std::vector<Seen> kMyProjSeen = {
    {"Proj\\Alpha\\ALPHA.CI", PlainText({"alpha"})},
    {"Proj\\Beta\\BETA.CI", PlainText({"beta", "", "end beta"})},
    {"Proj\\Dup1\\DUP1.CI", PlainText({"dup one"})},
    {"Proj\\Gamma\\GAMMA.CI", PlainText({"gamma"})},
    {"Proj\\MyProj\\LOWER.CI", PlainText({"lower"})},
    {"Proj\\MyProj\\MAIN.CI", PlainText({"FUNCTION Main()", "END"})},
    {"Proj\\Old\\OLD.CI", PlainText({"old"})},
};
const std::vector<Seen> kSoloSeen = {{"Proj\\Solo\\SOLO.CI", PlainText({"solo"})}};

const std::string kLongSettings = "vbe-" + std::string(240, 'n') + ".ini";
const std::string kLongUser = kRoot + "\\" + std::string(1100, 'u');

std::string Cut(std::string bytes, std::size_t keep) { return bytes.substr(0, keep); }

std::string Garbage(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + 7) % 251);
  return bytes;
}

// What the compiler sees of Solo when its ProtectedFile holds these bytes:
// a file too short to be one gives no plain file.
std::vector<Seen> SoloSeenOf(std::string bytes) {
  if (!DecryptProtectedText(&bytes)) return {};
  return {{"Proj\\Solo\\SOLO.CI", bytes}};
}

const std::string kSoloDecryptFailed =
    "Veilbox: Unable to decrypt C:\\VBE\\PROJ\\SOLO\\SOLO.CI.VEILBOX: ";
const std::string kMasterUnopened = "Veilbox: Error : Unable to open " + kUser + "\\master.dbf";
const std::string kSoloNotInMaster =
    "Veilbox: Unable to find Project \"Solo\" in Table " + kUser + "\\Master.dbf.";
const std::string kSoloIncludeUnopened =
    "Veilbox: Error : Unable to open " + Proj("Solo") + "\\Include.dbf.";
const std::string kLongArgument = "-" + std::string(1100, 'a');

std::string ChainName(int i) {
  std::string name = "C";  // appended, not "C" + ...: GCC 12 warns wrongly on that
  return name.append(std::to_string(i));
}

// Solo includes a chain of projects C1 ... C<depth>, each with one
// ProtectedFile; cycle_to names the project the last one includes.
void IncludeChain(Install& s, int depth, const std::string& cycle_to = "") {
  s.files["Proj\\Solo\\Include.dbf"] = veilbox::testing::MakeIncludeDbf({{{"C1"}}});
  for (int i = 1; i <= depth; ++i) {
    const std::string name = ChainName(i);
    s.master.push_back({{name, Proj(name)}});
    s.files["Proj\\" + name + "\\" + name + ".ci.Veilbox"] = Protect({name});
    const std::string next = i < depth ? ChainName(i + 1) : cycle_to;
    if (!next.empty()) {
      s.files["Proj\\" + name + "\\Include.dbf"] = veilbox::testing::MakeIncludeDbf({{{next}}});
    }
  }
}

std::vector<Seen> ChainSeen(int depth) {
  std::vector<Seen> seen;
  for (int i = 1; i <= depth; ++i) {
    const std::string name = ChainName(i);
    seen.push_back({"Proj\\" + name + "\\" + name + ".CI", PlainText({name})});
  }
  std::sort(seen.begin(), seen.end(),
            [](const Seen& a, const Seen& b) { return UpperAscii(a.path) < UpperAscii(b.path); });
  seen.push_back(kSoloSeen[0]);
  return seen;
}

// One scenario a few lines: kept as written.
// clang-format off
const Scenario kScenarios[] = {
    {"NormalRunWithIncludesRepeatsCycleAndDeletedRecords", {"/Z", "MYPROJ", "-x"}, NoChange,
     0, 0, {kComplete}, true, kMyProjSeen},
    {"CompilerExitCodePassesThroughAndCompileOkZeroIsLeftAlone", {"Solo"},
     [](Install& s) { s.settings["Citect.ini"] = CitectIni(kUser, kBin, "0"); }, 3, 3, {}, true,
     kSoloSeen, "0", "0"},
    {"MissingCompileOkCountsAsOneAndIsWrittenBack", {"Solo"},
     [](Install& s) { s.settings["Citect.ini"] = CitectIni(kUser, kBin, std::nullopt); }, 0, 0,
     {kComplete}, true, kSoloSeen},
    {"MissingCitectDir", {"Solo"}, [](Install& s) { s.registry.erase("CitectDir"); }, 0, 253,
     {"Veilbox: Veilbox Cannot find the registry entry that contains Citect`s location.  "
      "Please Run VeSetup.exe"},
     false},
    {"MissingCompExe", {"Solo"}, [](Install& s) { s.registry.erase("CompExe"); }, 0, 253,
     {"Veilbox: Veilbox Cannot find the registry entry that contains the Citect compilier`s "
      "location.  Please Run VeSetup.exe"},
     false},
    {"MissingAttachName", {"Solo"}, [](Install& s) { s.registry.erase("AttachName"); }, 0, 253,
     {"Veilbox: Veilbox cannot find the essential registry entries.  Please Run VeSetup.exe"},
     false},
    {"MissingCitectVer", {"Solo"}, [](Install& s) { s.registry.erase("CitectVer"); }, 0, 253,
     {"Veilbox: Veilbox cannot find the essential registry entries.  Please Run VeSetup.exe"},
     false},
    {"NoArguments", {}, NoChange, 0, 253, {"Veilbox: Nothing to Compile, No parameters Passed"},
     false},
    {"OnlySwitches", {"/Z", "-q"}, NoChange, 0, 248,
     {"Veilbox: Nothing to Compile, No Project passed on command line"}, false},
    {"EmptyUser", {"Solo"},
     [](Install& s) { s.settings["Citect.ini"] = "[CTEDIT]\r\nUSER=\r\nCOMPILEOKMESSAGE=1\r\n"; },
     0, 246, {"Veilbox: unable to resolve Master path from ini file Citect.ini"}, false},
    {"NoSettingsFile", {"Solo"}, [](Install& s) { s.settings["Citect.ini"] = std::nullopt; }, 0,
     249, {"Veilbox: Error : Unable to open " + std::string("Not Found...12345") + '\xA1' +
      "\\master.dbf"}, false},
    {"MasterTableMissing", {"Solo"}, [](Install& s) { s.master_present = false; }, 0, 249,
     {"Veilbox: Error : Unable to open " + kUser + "\\master.dbf"}, false},
    {"ProjectNotInMasterTable", {"Nope"}, NoChange, 0, 250,
     {"Veilbox: Unable to find Project \"Nope\" in Table " + kUser + "\\Master.dbf."}, false},
    {"LaterProjectWinsAndCaseIsIgnored", {"alpha", "/Z", "sOLO"}, NoChange, 0, 0, {kComplete},
     true, kSoloSeen},
    {"SettingsFileFromSwitch", {"/Ivbe.ini", "Solo"},
     [](Install& s) {
       s.settings["vbe.ini"] = s.settings["Citect.ini"];
       s.settings["Citect.ini"] = std::nullopt;
       s.compiler_settings = "vbe.ini";
     },
     0, 0, {kComplete}, true, kSoloSeen},
    {"LowerCaseSettingsSwitch", {"/ovbe.ini", "Solo"},
     [](Install& s) {
       s.settings["vbe.ini"] = s.settings["Citect.ini"];
       s.settings["Citect.ini"] = "[CTEDIT]\r\nUSER=C:\\wrong\r\n";
       s.compiler_settings = "vbe.ini";
     },
     0, 0, {kComplete}, true, kSoloSeen},
    {"BinMissingEndsWith247AndLeavesNoPlainFile", {"MYPROJ"},
     [](Install& s) { s.settings["Citect.ini"] = CitectIni(kUser, "", "1"); }, 0, 247,
     {"Veilbox: BIN directory not defined in Citect.ini",
      "Error: Veilbox Cannot Execute the the file  -1.  Veilbox is unable to continue."},
     false},
    {"CompilerMissingEndsWith247AndLeavesNoPlainFile", {"MYPROJ"},
     [](Install& s) {
       s.settings["Citect.ini"] = CitectIni(kUser, kRoot + "\\Citect\\NoBin", "1");
       s.files["Citect\\NoBin\\readme.txt"] = "no compiler here";
     },
     0, 247,
     {"Error: Veilbox Cannot Execute the the file  " + kRoot +
      "\\Citect\\NoBin.  Veilbox is unable to continue."},
     false},
    {"IncludeTableUnreadable", {"Solo"},
     [](Install& s) { s.files["Proj\\Solo\\Include.dbf"] = "bad"; }, 0, 249,
     {"Veilbox: Error : Unable to open " + Proj("Solo") + "\\Include.dbf."}, false},
    {"IncludeNotInMasterTableStopsThatTable", {"Solo"},
     [](Install& s) {
       s.files["Proj\\Solo\\Include.dbf"] =
           veilbox::testing::MakeIncludeDbf({{{" Alpha"}}, {{"Alpha"}}});
     },
     0, 0,
     {"Veilbox: Unable to find include \" Alpha\" in Table " + kUser + "\\Master.dbf.",
      kComplete},
     true, kSoloSeen},
    {"EmptyProjectDirectoryCompiles", {"Empty"}, NoChange, 0, 0, {kComplete}, true, {}},
    {"FileWithAPlainNameFromBeforeTheRunIsLeftAlone", {"Solo"},
     [](Install& s) {
       s.files["Proj\\Solo\\Notes.txt.Veilbox"] = "too\r\nshort\r\n";
       s.files["Proj\\Solo\\Notes.txt"] = "my own notes";
     },
     0, 0, {kComplete}, true,
     {{"Proj\\Solo\\Notes.txt", "my own notes"}, {"Proj\\Solo\\SOLO.CI", PlainText({"solo"})}}},
    {"MalformedProtectedFileEndsWith251", {"MYPROJ"},
     [](Install& s) { s.files["Proj\\Beta\\Bad.ci.Veilbox"] = MalformedProtected(); }, 0, 251,
     {"Veilbox: Unable to decrypt C:\\VBE\\PROJ\\BETA\\BAD.CI.VEILBOX: {BAD}"}, false},
    {"HiddenLeftoverPlainFileIsReplacedAndRemoved", {"Solo"},
     [](Install& s) {
       // The beginning of the plain text: a run was cut short writing it.
       s.files["Proj\\Solo\\SOLO.CI"] = PlainText({"solo"}).substr(0, 3);
       s.hidden.push_back("Proj\\Solo\\SOLO.CI");
     },
     0, 0, {kComplete}, true, kSoloSeen, "0", "1", std::nullopt, {"Proj\\Solo\\SOLO.CI"}},
    // A person's own hidden file is no leftover: set aside and kept.
    {"PersonsHiddenFileAtAPlainFilesNameIsKept", {"Solo"},
     [](Install& s) {
       s.files["Proj\\Solo\\SOLO.CI"] = "my own hidden notes";
       s.hidden.push_back("Proj\\Solo\\SOLO.CI");
     },
     0, 0, {kComplete}, true, kSoloSeen},
    {"PlainFileThatCannotBeCreatedEndsWith251", {"MYPROJ"},
     [](Install& s) { s.files["Proj\\Beta\\BETA.CI\\keep.txt"] = "a directory"; },
     0, 251,
     {"Veilbox: Unable to decrypt C:\\VBE\\PROJ\\BETA\\BETA.CI.VEILBOX: Cannot create file "
      "C:\\VBE\\PROJ\\BETA\\BETA.CI"},
     false},
    // A stored window position is cosmetic: one that is not a number never
    // stops a compile nor shows a message, under either root.
    {"BadPlacementInTheRunIsIgnored", {"Solo"},
     [](Install& s) {
       s.registry_extra =
           "[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox\\Forms]\r\n"
           "\"FrmMainLeft\"=\"abc\"\r\n\r\n";
     },
     0, 0, {kComplete}, true, kSoloSeen},
    {"BadPlacementAtCreationIsIgnored", {"Solo"},
     [](Install& s) {
       s.registry_extra =
           "[HKEY_CURRENT_USER\\Software\\Talvoren\\Veilbox\\Forms]\r\n"
           "\"FrmMainLeft\"=\"12\"\r\n\r\n";
     },
     0, 0, {kComplete}, true, kSoloSeen},
    {"ArgumentsWithBlanksReachTheCompilerWhole", {"My Project", "-oC:\\Out Dir\\"}, NoChange, 0,
     0, {kComplete}, true, {{"Proj\\My Project\\SPACED.CI", PlainText({"spaced"})}}},
    {"LongSettingsFileName", {"/I" + kLongSettings, "Solo"},
     [](Install& s) {
       s.settings[kLongSettings] = s.settings["Citect.ini"];
       s.settings["Citect.ini"] = std::nullopt;
       s.compiler_settings = kLongSettings;
     },
     0, 0, {kComplete}, true, kSoloSeen},
    {"LongUserValueIsReadWhole", {"Solo"},
     [](Install& s) { s.settings["Citect.ini"] = CitectIni(kLongUser, kBin, "1"); }, 0, 249,
     {"Veilbox: Error : Unable to open " + kLongUser + "\\master.dbf"}, false},
    {"MasterTableEmpty", {"Solo"},
     [](Install& s) { s.master_present = false; s.files["Citect\\User\\master.dbf"] = ""; }, 0,
     249, {kMasterUnopened}, false},
    {"MasterTableGarbage", {"Solo"},
     [](Install& s) { s.master_present = false; s.files["Citect\\User\\master.dbf"] = Garbage(700); },
     0, 250, {kSoloNotInMaster}, false},
    {"MasterTableTruncated", {"Solo"},
     [](Install& s) {
       s.master_present = false;
       s.files["Citect\\User\\master.dbf"] = Cut(veilbox::testing::MakeMasterDbf(s.master), 200);
     },
     0, 250, {kSoloNotInMaster}, false},
    {"IncludeTableEmpty", {"Solo"}, [](Install& s) { s.files["Proj\\Solo\\Include.dbf"] = ""; }, 0,
     249, {kSoloIncludeUnopened}, false},
    {"IncludeTableGarbage", {"Solo"},
     [](Install& s) { s.files["Proj\\Solo\\Include.dbf"] = Garbage(500); }, 0, 0, {kComplete},
     true, kSoloSeen},
    {"IncludeTableTruncated", {"Solo"},
     [](Install& s) {
       s.files["Proj\\Solo\\Include.dbf"] =
           Cut(veilbox::testing::MakeIncludeDbf({{{"Alpha"}}, {{"Beta"}}}), 40);
     },
     0, 0, {kComplete}, true, kSoloSeen},
    {"ProtectedFileTruncated", {"Solo"},
     [](Install& s) { s.files["Proj\\Solo\\Solo.ci.Veilbox"] = Cut(Protect({"solo", "more"}), 60); },
     0, 0, {kComplete}, true, SoloSeenOf(Cut(Protect({"solo", "more"}), 60))},
    {"ProtectedFileGarbage", {"Solo"},
     [](Install& s) { s.files["Proj\\Solo\\Solo.ci.Veilbox"] = Garbage(3000); }, 0, 0,
     {kComplete}, true, SoloSeenOf(Garbage(3000))},
    {"ProtectedFileWithATenMegabyteLine", {"Solo"},
     [](Install& s) { s.files["Proj\\Solo\\Solo.ci.Veilbox"] = Protect({std::string(10 << 20, 'L')}); },
     0, 0, {kComplete}, true, {{"Proj\\Solo\\SOLO.CI", PlainText({std::string(10 << 20, 'L')})}}},
    {"CompilerEndsWithAnOddCode", {"Solo"}, NoChange, 255, 255, {kComplete}, true, kSoloSeen},
    {"IncludeCycleOfOne", {"Solo"},
     [](Install& s) { s.files["Proj\\Solo\\Include.dbf"] = veilbox::testing::MakeIncludeDbf({{{"Solo"}}}); },
     0, 0, {kComplete}, true, kSoloSeen},
    {"IncludeCycleOfTwo", {"Solo"}, [](Install& s) { IncludeChain(s, 1, "Solo"); }, 0, 0,
     {kComplete}, true, ChainSeen(1)},
    {"IncludeChainTwoHundredDeep", {"Solo"}, [](Install& s) { IncludeChain(s, 200); }, 0, 0,
     {kComplete}, true, ChainSeen(200)},
    {"CommandLineLongerThanAThousand", {"Solo", kLongArgument}, NoChange, 0, 0, {kComplete}, true,
     kSoloSeen},
    {"SettingsOnlyInThe64BitViewAreRead", {"Solo"},
     [](Install& s) { s.registry_64 = s.registry; s.registry_in_32_bit_view = false; }, 0, 0,
     {kComplete}, true, kSoloSeen},
    {"SettingsInBothViewsThe32BitViewWins", {"Solo"},
     [](Install& s) {
       s.registry_64 = s.registry;
       (*s.registry_64)["AttachName"] = "wrong.exe";
     },
     0, 0, {kComplete}, true, kSoloSeen},
    {"The32BitKeyAloneCountsWhenItExists", {"Solo"},
     [](Install& s) {
       s.registry_64 = s.registry;
       s.registry.erase("CitectVer");
     },
     0, 253,
     {"Veilbox: Veilbox cannot find the essential registry entries.  Please Run VeSetup.exe"},
     false},
};
// clang-format on

class CompileWrapper : public ::testing::TestWithParam<Scenario> {};

TEST_P(CompileWrapper, Scenario) { RunScenario(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Table, CompileWrapper, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                           return std::string(info.param.name);
                         });

// The decryption runs on several threads: a run's outcome is the same
// with one worker and with many. Beta and Gamma each get a malformed
// ProtectedFile; Beta's comes first in the collected order (MyProj, Alpha,
// Gamma, Beta ...) only when Gamma's is taken away.
TEST(CompileWrapperWorkers, SameOutcomeWithOneWorkerAndWithMany) {
  const auto two_bad = [](Install& s) {
    s.files["Proj\\Beta\\Bad.ci.Veilbox"] = MalformedProtected();
    s.files["Proj\\Gamma\\Bad.ci.Veilbox"] = MalformedProtected();
    for (int i = 0; i < 30; ++i) {
      const std::string number = std::to_string(i);
      s.files[std::string("Proj\\Alpha\\A").append(number).append(".ci.Veilbox")] = Protect({"a"});
      s.files[std::string("Proj\\Dup1\\D").append(number).append(".ci.Veilbox")] = Protect({"d"});
    }
  };
  const Scenario scenarios[] = {
      {"TwoMalformed",
       {"MYPROJ"},
       two_bad,
       0,
       251,
       {"Veilbox: Unable to decrypt C:\\VBE\\PROJ\\GAMMA\\BAD.CI.VEILBOX: {BAD}"},
       false},
      {"MalformedNearTheEnd",
       {"MYPROJ"},
       [&](Install& s) {
         two_bad(s);
         s.files.erase("Proj\\Gamma\\Bad.ci.Veilbox");
       },
       0,
       251,
       {"Veilbox: Unable to decrypt C:\\VBE\\PROJ\\BETA\\BAD.CI.VEILBOX: {BAD}"},
       false},
      {"NormalRun", {"MYPROJ"}, NoChange, 0, 0, {kComplete}, true, kMyProjSeen},
  };
  for (const char* workers : {"1", "4"}) {
    Machine::SetEnv("VEILBOX_DECRYPT_WORKERS", workers);
    for (const Scenario& sc : scenarios) {
      SCOPED_TRACE(std::string(sc.name) + " with " + workers + " workers");
      RunScenario(sc);
    }
  }
  Machine::SetEnv("VEILBOX_DECRYPT_WORKERS", "");
}

}  // namespace
}  // namespace veilbox::e2e
