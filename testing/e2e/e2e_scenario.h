// The fixture of the end-to-end scenario tables, run against the native
// build and against veilbox.exe under Wine. Each scenario lays out a
// Citect installation below C:\VBE (registry, settings file, master table,
// projects with ProtectedFiles and include tables, and a stand-in compiler
// in the compiler directory), runs Veilbox, and checks its exit code, its
// message boxes, what the compiler saw, the settings file afterwards, and
// that the trees below C:\VBE and C:\VBE-outside are exactly as they were
// before the run (bytes, attributes, times, links): no plain file that the
// run wrote is left, and nothing else is touched. No file in them holds a
// line with kSecret afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "testing/dbf_writer.h"
#include "testing/e2e/e2e_machine.h"

namespace veilbox::e2e {

inline const std::string kRoot = "C:\\VBE";
inline const std::string kUser = kRoot + "\\Citect\\User";
inline const std::string kBin = kRoot + "\\Citect\\Bin";
inline const std::string kRecord = "C:\\VBE-record\\compiler.txt";

inline std::string Proj(const std::string& name) { return kRoot + "\\Proj\\" + name; }

// Files outside the projects that a scenario may point links at.
inline const std::string kOutside = "C:\\VBE-outside";
// Plain lines holding this never stay on disk after a scenario.
inline constexpr char kSecret[] = "SECRET-PLAIN-TEXT";

// The machine's own name of a Windows path: the stand-in's file in the
// POSIX build, the path itself on Windows.
std::filesystem::path Native(const std::string& windows_path);
// Writes bytes as the file at a Windows path, making its directories.
void Write(const std::string& windows_path, const std::string& bytes);

// The ProtectedFile bytes of a plain file's lines.
std::string Protect(const std::vector<std::string>& lines, const std::string& key = "body key");
// The plain file's bytes of its lines: each followed by CR LF.
std::string PlainText(const std::vector<std::string>& lines);
// A ProtectedFile whose first body line is not a cipher text, and the
// error text its decryption gives.
std::string MalformedProtected();
std::string DecryptErrorText(std::string bytes);

// The installation a scenario starts from, and changes.
struct Install {
  std::map<std::string, std::string> registry = {{"CitectDir", kRoot + "\\Citect"},
                                                 {"CompExe", kBin + "\\ctcomp.exe"},
                                                 {"AttachName", "ctcomp.exe"},
                                                 {"CitectVer", "7.20"}};
  // The settings are staged as the 32-bit setup tool writes them, in the
  // registry's 32-bit view; false: not there.
  bool registry_in_32_bit_view = true;
  // Settings staged in the 64-bit view as well (a .reg file imported by
  // the 64-bit registry editor).
  std::optional<std::map<std::string, std::string>> registry_64 = std::nullopt;
  // Extra .reg text (placement values), staged as the program sees the
  // registry.
  std::string registry_extra;
  // Settings files in the Windows directory by name; nullopt: none.
  std::map<std::string, std::optional<std::string>> settings = {
      {"Citect.ini",
       "[CTEDIT]\r\nUSER=" + kUser + "\r\nBIN=" + kBin + "\r\nCOMPILEOKMESSAGE=1\r\n"}};
  // The settings file the compiler reads COMPILEOKMESSAGE from.
  std::string compiler_settings = "Citect.ini";
  std::vector<veilbox::testing::DbfRecord> master = {
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
  // Files below the root to give these attributes.
  std::map<std::string, std::uint32_t> attributes;
};

struct Seen {
  std::string path;  // below the root
  std::string content;
};

constexpr char kComplete[] = "Veilbox: Veilbox Compile Complete";

struct Scenario {
  const char* name;
  std::vector<std::string> args;
  std::function<void(Install&)> change;
  int compiler_exit;
  int exit_code;
  // "Caption: text"; {WIN} stands for the Windows directory, {BAD} for the
  // malformed ProtectedFile's error text, {NATIVE:path} for the machine's
  // own name of a Windows path.
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
  // After the layout is written and before the run (links, attributes).
  std::function<void()> arrange = nullptr;
  // Extra environment for the stand-in compiler.
  std::map<std::string, std::string> compiler_env = {};
  // Runs beside Veilbox on a thread of its own, and is waited for.
  std::function<void()> beside = nullptr;
  // After the run and its checks of the outcome, before the trees are
  // compared (a later run, say).
  std::function<void(Machine&)> then = nullptr;
};

void PrintTo(const Scenario& scenario, std::ostream* out);

inline void NoChange(Install&) {}

// A settings file with these [CTEDIT] keys; an empty text or nullopt
// leaves the key out.
std::string CitectIni(const std::string& user, const std::string& bin,
                      const std::optional<std::string>& compileok);

// Every entry below a directory, links not followed: relative name -> what
// it is (a link's target; a file's attributes, number of names, time of
// last change and bytes).
std::map<std::string, std::string> Snapshot(const std::string& root);
// The regular files below a directory that hold kSecret.
std::vector<std::string> FilesHoldingTheSecret(const std::string& root);

// The projects Solo, Other and Shared in the master table, each with one
// ProtectedFile; Solo and Other both include Shared.
void LayOutSharedInclude();

// Stages the installation's registry values and settings files; returns
// the Windows directory, with a trailing backslash.
std::string StageSettings(Machine& machine, const Install& setup);

// Lays the installation out on the machine: the registry, the settings
// files, the master table, the projects and the stand-in compiler. Returns
// the Windows directory, with a trailing backslash.
std::string LayOut(Machine& machine, const Install& setup);

// Lays the scenario's installation out, runs Veilbox and checks the
// outcome (see the top of this file).
void RunScenario(const Scenario& sc);

}  // namespace veilbox::e2e
