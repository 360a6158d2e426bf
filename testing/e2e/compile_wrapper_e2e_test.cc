// End-to-end scenarios of the compile wrapper: one table, run against the
// native build and against veilbox.exe under Wine. Each scenario lays out a
// Citect installation below C:\VBE (registry, settings file, master table,
// projects with ProtectedFiles and include tables, and a stand-in compiler
// in the compiler directory), runs Veilbox, and checks its exit code, its
// message boxes, what the compiler saw, the settings file afterwards, and
// that the tree below C:\VBE is exactly as it was before the run: no plain
// file that the run wrote is left, and nothing else is touched.
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
#include "testing/record_text.h"
#include "testing/test_support.h"

namespace veilbox::e2e {
namespace {

using veilbox::testing::DbfRecord;

const std::string kRoot = "C:\\VBE";
const std::string kUser = kRoot + "\\Citect\\User";
const std::string kBin = kRoot + "\\Citect\\Bin";
const std::string kRecord = "C:\\VBE-record\\compiler.txt";

std::string Proj(const std::string& name) { return kRoot + "\\Proj\\" + name; }

// The ProtectedFile bytes of a plain file's lines.
std::string Protect(const std::vector<std::string>& lines, const std::string& key = "body key") {
  TextList header, body;
  for (const char* h :
       {"Veilbox V1.0. See www.example.com for more info", "two", "", "four", "five"}) {
    header.Add(h);
  }
  header[2] = key;
  for (const std::string& line : lines) body.Add(line);
  return EncryptProtectedText(header, body);
}

std::string PlainText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// A ProtectedFile whose first body line is not a cipher text, and the
// error text its decryption gives.
std::string MalformedProtected() {
  std::string bytes = Protect({"ok"});
  bytes += "not a cipher line\r\n";
  return bytes;
}

std::string DecryptErrorText(std::string bytes) {
  try {
    DecryptProtectedText(&bytes);
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

// The installation a scenario starts from, and changes.
struct Install {
  std::map<std::string, std::string> registry = {{"CitectDir", kRoot + "\\Citect"},
                                                 {"CompExe", kBin + "\\ctcomp.exe"},
                                                 {"AttachName", "ctcomp.exe"},
                                                 {"CitectVer", "7.20"}};
  // Extra .reg text (placement values).
  std::string registry_extra;
  // Settings files in the Windows directory by name; nullopt: none.
  std::map<std::string, std::optional<std::string>> settings = {
      {"Citect.ini",
       "[CTEDIT]\r\nUSER=" + kUser + "\r\nBIN=" + kBin + "\r\nCOMPILEOKMESSAGE=1\r\n"}};
  // The settings file the compiler reads COMPILEOKMESSAGE from.
  std::string compiler_settings = "Citect.ini";
  std::vector<DbfRecord> master = {
      {{"MYPROJ", Proj("MyProj")}}, {{"Alpha", Proj("Alpha")}},
      {{"Beta", Proj("Beta")}},     {{"Gamma", Proj("Gamma")}},
      {{"Dup", Proj("Dup1")}},      {{"Dup", Proj("Dup2")}},
      {{"Old", Proj("Old")}, true}, {{"My Project", Proj("My Project")}},
      {{"Solo", Proj("Solo")}},     {{"Empty", Proj("Empty")}},
  };
  bool master_present = true;
  // Files below the root: relative name -> bytes.
  std::map<std::string, std::string> files = {
      {"Proj\\MyProj\\Main.ci.Veilbox", Protect({"FUNCTION Main()", "END"})},
      {"Proj\\MyProj\\lower.cI.Veilbox", Protect({"lower"})},
      {"Proj\\MyProj\\Include.dbf",
       veilbox::testing::MakeIncludeDbf({{{"Alpha"}}, {{"Gamma"}, true}, {{"Beta"}}})},
      {"Proj\\Alpha\\Alpha.ci.Veilbox", Protect({"alpha"})},
      {"Proj\\Alpha\\Include.dbf", veilbox::testing::MakeIncludeDbf({{{"gamma"}}})},
      {"Proj\\Beta\\Beta.ci.Veilbox", Protect({"beta", "", "end beta"}, "")},
      {"Proj\\Beta\\Include.dbf",
       veilbox::testing::MakeIncludeDbf({{{"Gamma"}}, {{"Dup"}}, {{"Old"}}})},
      {"Proj\\Gamma\\Gamma.ci.Veilbox", Protect({"gamma"})},
      {"Proj\\Gamma\\Include.dbf", veilbox::testing::MakeIncludeDbf({{{"MYPROJ"}}})},
      {"Proj\\Dup1\\Dup1.ci.Veilbox", Protect({"dup one"})},
      {"Proj\\Dup1\\Include.dbf", veilbox::testing::MakeIncludeDbf({})},
      {"Proj\\Dup2\\Dup2.ci.Veilbox", Protect({"dup two"})},
      {"Proj\\Old\\Old.ci.Veilbox", Protect({"old"})},
      {"Proj\\My Project\\Spaced.ci.Veilbox", Protect({"spaced"})},
      {"Proj\\Solo\\Solo.ci.Veilbox", Protect({"solo"})},
  };
  // Files below the root to mark hidden.
  std::vector<std::string> hidden;
};

struct Seen {
  std::string path;  // below the root
  std::string content;
};

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

constexpr char kComplete[] = "Veilbox: Veilbox Compile Complete";
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

struct Scenario {
  const char* name;
  std::vector<std::string> args;
  std::function<void(Install&)> change;
  int compiler_exit;
  int exit_code;
  // "Caption: text"; {WIN} stands for the Windows directory, {BAD} for the
  // malformed ProtectedFile's error text.
  std::vector<std::string> boxes;
  bool compiled;
  std::vector<Seen> seen = {};
  std::string compileok_seen = "0";
  // COMPILEOKMESSAGE in the settings file after the run.
  std::string compileok_after = "1";
  // Arguments the compiler gets, when not the run's own.
  std::optional<std::vector<std::string>> compiler_args = std::nullopt;
  // Files below the root that the run removes (leftovers it replaced).
  std::vector<std::string> removed = {};
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

void NoChange(Install&) {}

std::string CitectIni(const std::string& user, const std::string& bin,
                      const std::optional<std::string>& compileok) {
  std::string text = "[CTEDIT]\r\n";
  if (!user.empty()) text += "USER=" + user + "\r\n";
  if (!bin.empty()) text += "BIN=" + bin + "\r\n";
  if (compileok) text += "COMPILEOKMESSAGE=" + *compileok + "\r\n";
  return text;
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
       s.files["Proj\\Solo\\SOLO.CI"] = "left by a run that was cut short";
       s.hidden.push_back("Proj\\Solo\\SOLO.CI");
     },
     0, 0, {kComplete}, true, kSoloSeen, "0", "1", std::nullopt, {"Proj\\Solo\\SOLO.CI"}},
    {"PlainFileThatCannotBeCreatedEndsWith251", {"MYPROJ"},
     [](Install& s) { s.files["Proj\\Beta\\BETA.CI\\keep.txt"] = "a directory"; },
     0, 251,
     {"Veilbox: Unable to decrypt C:\\VBE\\PROJ\\BETA\\BETA.CI.VEILBOX: Cannot create file "
      "C:\\VBE\\PROJ\\BETA\\BETA.CI"},
     false},
    {"BadPlacementInTheRunEndsWith252", {"Solo"},
     [](Install& s) {
       s.registry_extra =
           "[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox\\Forms]\r\n"
           "\"FrmMainLeft\"=\"abc\"\r\n\r\n";
     },
     0, 252, {"Veilbox: 'abc' is not a valid integer value"}, false},
    {"BadPlacementAtCreationIsShownAndTheRunGoesOn", {"Solo"},
     [](Install& s) {
       s.registry_extra =
           "[HKEY_CURRENT_USER\\Software\\Talvoren\\Veilbox\\Forms]\r\n"
           "\"FrmMainLeft\"=\"abc\"\r\n\r\n";
     },
     0, 0, {"Veilbox: 'abc' is not a valid integer value", kComplete}, true, kSoloSeen},
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
};
// clang-format on

std::string RegString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Every file below a directory: relative name -> bytes and hidden flag.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> files;
  const std::filesystem::path native = platform::NativePath(root);
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(native, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    const std::uint32_t attributes = platform::GetFileAttributes(it->path().string());
    std::string bytes = veilbox::testing::ReadFileBytes(it->path());
    if (bytes.size() > 4096) bytes = "(" + std::to_string(bytes.size()) + " bytes)";
    std::string relative = std::filesystem::relative(it->path(), native).string();
    std::replace(relative.begin(), relative.end(), '\\', '/');
    files[relative] = ((attributes & platform::kAttrHidden) ? "hidden:" : "") + bytes;
  }
  return files;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string Upper(std::string text) { return UpperAscii(text); }

std::string SamePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return Upper(path);
}

// Lays the scenario's installation out, runs Veilbox on it and checks the
// outcome.
void RunScenario(const Scenario& sc) {
  Machine machine(kRoot);
  Install setup;
  sc.change(setup);

  // Registry.
  std::string reg =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox]\r\n";
  for (const auto& [name, value] : setup.registry) {
    reg += RegString(name) + "=" + RegString(value) + "\r\n";
  }
  reg += "\r\n" + setup.registry_extra;
  machine.ImportRegistry(reg);

  // Settings files, master table, projects, compiler.
  const std::string windows_dir = AddBackslash(machine.WindowsDir());
  for (const auto& [name, text] : setup.settings) {
    if (text) machine.WriteOutsideFile(windows_dir + name, *text);
  }
  const auto write = [&](const std::string& relative, const std::string& bytes) {
    const std::filesystem::path path = platform::NativePath(kRoot + "\\" + relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  };
  if (setup.master_present) {
    write("Citect\\User\\master.dbf", veilbox::testing::MakeMasterDbf(setup.master));
  }
  for (const auto& [relative, bytes] : setup.files) write(relative, bytes);
  {
    const std::filesystem::path compiler = platform::NativePath(kBin + "\\ctcomp.exe");
    std::filesystem::create_directories(compiler.parent_path());
    std::filesystem::copy_file(veilbox::testing::HelperPath("fake-compiler"), compiler,
                               std::filesystem::copy_options::overwrite_existing);
  }
  for (const std::string& relative : setup.hidden) {
    platform::SetFileAttributes(kRoot + "\\" + relative, platform::kAttrHidden);
  }
  machine.WriteOutsideFile(kRecord, "");
  std::filesystem::remove(platform::NativePath(kRecord));

  Machine::SetEnv("VEILBOX_FAKE_RECORD", kRecord);
  Machine::SetEnv("VEILBOX_FAKE_ROOT", kRoot + "\\Proj");
  Machine::SetEnv("VEILBOX_FAKE_EXIT", std::to_string(sc.compiler_exit));
  Machine::SetEnv("VEILBOX_FAKE_INI", setup.compiler_settings == "Citect.ini"
                                          ? setup.compiler_settings
                                          : windows_dir + setup.compiler_settings);

  const auto before = Snapshot(kRoot);
  const RunResult run = machine.RunVeilbox(sc.args);

  EXPECT_EQ(run.exit_code, sc.exit_code);
  EXPECT_TRUE(run.problems.empty()) << ::testing::PrintToString(run.problems);
  std::vector<std::string> boxes;
  for (const Box& box : run.boxes) boxes.push_back(box.caption + ": " + box.text);
  std::vector<std::string> expected_boxes;
  for (const std::string& box : sc.boxes) {
    expected_boxes.push_back(Replace(Replace(box, "{WIN}", windows_dir), "{BAD}",
                                     DecryptErrorText(MalformedProtected())));
  }
  EXPECT_EQ(boxes, expected_boxes);

  // What the compiler saw.
  const std::string record = veilbox::testing::ReadFileBytes(platform::NativePath(kRecord));
  EXPECT_EQ(!record.empty(), sc.compiled);
  if (sc.compiled && !record.empty()) {
    std::vector<std::string> args;
    std::vector<Seen> seen;
    std::string cwd, compileok;
    for (const auto& [key, value] : veilbox::testing::ParseRecords(record)) {
      if (key == "arg") args.push_back(value);
      if (key == "cwd") cwd = value;
      if (key == "plain") seen.push_back({value, ""});
      if (key == "content") seen.back().content = value;
      if (key == "hidden" && value != "1" &&
          Upper(seen.back().path).find("NOTES") == std::string::npos) {
        ADD_FAILURE() << seen.back().path << " is not hidden";
      }
      if (key == "compileok") compileok = value;
    }
    EXPECT_EQ(args, sc.compiler_args.value_or(sc.args));
    EXPECT_EQ(SamePath(cwd), SamePath(platform::NativePath(kBin)));
    ASSERT_EQ(seen.size(), sc.seen.size()) << record;
    for (std::size_t i = 0; i < seen.size(); ++i) {
      EXPECT_EQ(Upper("Proj\\" + seen[i].path), Upper(sc.seen[i].path));
      EXPECT_EQ(seen[i].content, sc.seen[i].content) << seen[i].path;
    }
    EXPECT_EQ(compileok, sc.compileok_seen);
  }

  // The settings file as the run left it, and the tree as it was.
  const std::string settings = setup.compiler_settings == "Citect.ini"
                                   ? windows_dir + "Citect.ini"
                                   : windows_dir + setup.compiler_settings;
  if (setup.settings[setup.compiler_settings]) {
    EXPECT_EQ(platform::GetProfileValue("CTEDIT", "COMPILEOKMESSAGE", "(missing)", settings),
              sc.compileok_after);
  }
  auto expected_after = before;
  for (std::string removed : sc.removed) {
    std::replace(removed.begin(), removed.end(), '\\', '/');
    EXPECT_EQ(expected_after.erase(removed), 1u) << removed;
  }
  EXPECT_EQ(Snapshot(kRoot), expected_after);
}

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
