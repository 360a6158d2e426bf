// The whole run, driven through a user interface that writes its messages
// down, over a stand-in machine of its own: Veilbox's registry values, the
// settings file, the master table, a project of ProtectedFiles and a
// compiler that records what it saw. One table of the run's end states:
// each exit code, the messages shown, the plain files present when the
// compiler started, and COMPILEOKMESSAGE then and afterwards.
//
// POSIX only: on Windows the run reads HKEY_LOCAL_MACHINE and the Windows
// directory of the machine itself, which a unit test must not change (the
// end-to-end tests run the same ends in the Wine prefix).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/compile_run.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/system_error.h"
#include "sysutil/errors.h"
#include "sysutil/globals.h"
#include "sysutil/interrupt_check.h"
#include "sysutil/text_utils.h"
#include "testing/dbf_writer.h"
#include "testing/protected_file_builder.h"
#include "testing/record_text.h"
#include "testing/recording_ui.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

using testing::ScratchDir;

// Sets an environment variable for the life of the object.
class EnvVar {
 public:
  EnvVar(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~EnvVar() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  EnvVar(const EnvVar&) = delete;
  EnvVar& operator=(const EnvVar&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// What a case changes in the machine before the run.
struct Layout {
  bool registry = true;         // Veilbox's four values
  std::string missing_value;    // one of them left out
  std::string user = "master";  // USER: below the scratch directory; "" empty; "-" none
  std::string bin =
      "compiler";  // BIN: the compiler's directory; "-" none; else an empty directory below
  std::string compile_ok = "1";              // COMPILEOKMESSAGE; "-" none
  bool master_table = true;                  // master.dbf in USER
  bool listed = true;                        // the project in master.dbf
  std::string second_file = "b.ci.Veilbox";  // a second ProtectedFile
  std::string second_bytes = testing::ProtectedFileBytes({"beta"});
  bool shared_journal_dir = false;  // the journal directory open to everyone
  // The project's Include.dbf: "" none; "broken" one too short for a
  // header; else one record naming that project
  std::string include;
  bool unlistable_project = false;  // the project's directory a link to itself
};

struct Outcome {
  int code = -1;
  std::vector<std::string> messages;
  bool compiler_started = false;
  std::vector<std::string> plain_at_start;  // "name=content", hidden ones only
  std::string compile_ok_at_start;
  std::string compile_ok_after;
  std::vector<std::string> left_after;  // files in the project that are not ProtectedFiles
  std::string debug_output;
};

// One machine below a scratch directory, which is also the stand-in's prefix.
class Machine {
 public:
  explicit Machine(const Layout& layout) : prefix_(dir_.str()) {
    const std::string compiler = testing::HelperPath("fake-compiler");
    if (layout.registry) {
      const std::vector<std::pair<std::string, std::string>> values = {
          {"CitectDir", "C:\\\\Citect"},
          {"CompExe", "C:\\\\Citect\\\\bin"},
          {"AttachName", std::filesystem::path(compiler).filename().string()},
          {"CitectVer", "5"}};
      std::string reg =
          "Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Talvoren\\Veilbox]\r\n";
      for (const auto& [name, value] : values)
        if (name != layout.missing_value) reg += "\"" + name + "\"=\"" + value + "\"\r\n";
      dir_.Write("registry.reg", reg + "\r\n");
    }
    std::string ini = "[CTEDIT]\r\n";
    if (layout.user == "") ini += "USER=\r\n";
    if (layout.user != "" && layout.user != "-") ini += "USER=" + Path(layout.user) + "\r\n";
    if (layout.bin == "compiler") {
      ini += "BIN=" + std::filesystem::path(compiler).parent_path().string() + "\r\n";
    } else if (layout.bin != "-") {
      ini += "BIN=" + Path(layout.bin) + "\r\n";
      std::filesystem::create_directories(dir_.path() / layout.bin);
    }
    if (layout.compile_ok != "-") ini += "COMPILEOKMESSAGE=" + layout.compile_ok + "\r\n";
    dir_.Write("windows/Citect.ini", ini);

    std::vector<testing::DbfRecord> master = {{{"Other", Path("other")}}};
    if (layout.listed) master.push_back({{"Demo", Path("demo")}});
    if (layout.master_table) dir_.Write("master/master.dbf", testing::MakeMasterDbf(master));
    dir_.Write("demo/a.ci.Veilbox", testing::ProtectedFileBytes({"alpha"}));
    dir_.Write("demo/" + layout.second_file, layout.second_bytes);
    if (layout.include == "broken") {
      dir_.Write("demo/Include.dbf", "x");
    } else if (!layout.include.empty()) {
      dir_.Write("demo/Include.dbf", testing::MakeIncludeDbf({{{layout.include}}}));
    }
    if (layout.unlistable_project) {
      std::filesystem::remove_all(dir_.path() / "demo");
      std::filesystem::create_directory_symlink("demo", dir_.path() / "demo");
    }
    if (layout.shared_journal_dir) ::chmod(dir_.str().c_str(), 0777);
  }

  Outcome Run(const std::vector<std::string>& params, const std::string& compiler_exit) {
    const EnvVar record("VEILBOX_FAKE_RECORD", Path("record"));
    const EnvVar root("VEILBOX_FAKE_ROOT", Path("demo"));
    const EnvVar exit("VEILBOX_FAKE_EXIT", compiler_exit);
    const RegistryRoot reg_root = RegRoot;
    Outcome out;
    testing::RecordingUi ui;
    ::testing::internal::CaptureStderr();
    try {
      out.code = RunCompile(ui, params);
    } catch (const RunEnded& end) {
      out.code = end.code();
    } catch (const RunInterrupted&) {
      ADD_FAILURE() << "interrupted";
    }
    out.debug_output = ::testing::internal::GetCapturedStderr();
    RegRoot = reg_root;
    out.messages = ui.messages;
    ReadRecord(&out);
    out.compile_ok_after =
        platform::GetProfileValue("CTEDIT", "COMPILEOKMESSAGE", "-", "Citect.ini");
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path() / "demo", error)) {
      const std::string name = entry.path().filename().string();
      if (name != "Include.dbf" && (name.size() < 8 || name.substr(name.size() - 8) != ".Veilbox"))
        out.left_after.push_back(name);
    }
    return out;
  }

  std::string Path(const std::string& name) const { return (dir_.path() / name).string(); }
  std::string Root() const { return dir_.str(); }

 private:
  void ReadRecord(Outcome* out) const {
    const std::string text = testing::ReadFileBytes(dir_.path() / "record");
    out->compiler_started = !text.empty();
    std::istringstream lines(text);
    std::string line, plain, content;
    while (std::getline(lines, line)) {
      const std::string key = line.substr(0, line.find(' '));
      const std::string value =
          testing::UnescapeRecordValue(line.size() > key.size() ? line.substr(key.size() + 1) : "");
      if (key == "plain") plain = value;
      if (key == "content") content = value;
      if (key == "hidden")
        out->plain_at_start.push_back(plain + "=" + content +
                                      (value == "1" ? "" : " (not hidden)"));
      if (key == "compileok") out->compile_ok_at_start = value;
    }
  }

  ScratchDir dir_;
  testing::PrefixOverride prefix_;
};

std::string CannotExecute(const std::string& bin) {
  return "Error: Veilbox Cannot Execute the the file  " + bin + ".  Veilbox is unable to continue.";
}

TEST(CompileRun, EndStates) {
  const std::vector<std::string> both = {"A.CI=alpha\r\n", "B.CI=beta\r\n"};
  const struct {
    const char* what;
    std::function<void(Layout&)> layout;
    std::vector<std::string> params;
    std::string compiler_exit;
    int code;
    // "{DIR}" stands for the scratch directory, "{UPPER DIR}" for it in
    // capitals (the walk's collected names are)
    std::vector<std::string> messages;
    std::optional<std::vector<std::string>> plain_at_start;  // none: no compiler started
    std::string compile_ok_after;
  } cases[] = {
      {"a compile that succeeds",
       [](Layout&) {},
       {"Demo"},
       "0",
       0,
       {"Veilbox Compile Complete"},
       both,
       "1"},
      {"the compiler's own failure is the run's exit code",
       [](Layout&) {},
       {"Demo", "/x"},
       "3",
       3,
       {"Veilbox Compile Complete"},
       both,
       "1"},
      {"the completion message already off stays off",
       [](Layout& l) { l.compile_ok = "0"; },
       {"Demo"},
       "0",
       0,
       {},
       both,
       "0"},
      {"no registry values: 253",
       [](Layout& l) { l.registry = false; },
       {"Demo"},
       "0",
       253,
       {"Veilbox Cannot find the registry entry that contains Citect`s location.  Please Run "
        "VeSetup.exe"},
       std::nullopt,
       "1"},
      {"no CompExe: 253",
       [](Layout& l) { l.missing_value = "CompExe"; },
       {"Demo"},
       "0",
       253,
       {"Veilbox Cannot find the registry entry that contains the Citect compilier`s location.  "
        "Please Run VeSetup.exe"},
       std::nullopt,
       "1"},
      {"no AttachName: 253",
       [](Layout& l) { l.missing_value = "AttachName"; },
       {"Demo"},
       "0",
       253,
       {"Veilbox cannot find the essential registry entries.  Please Run VeSetup.exe"},
       std::nullopt,
       "1"},
      {"no CitectVer: 253",
       [](Layout& l) { l.missing_value = "CitectVer"; },
       {"Demo"},
       "0",
       253,
       {"Veilbox cannot find the essential registry entries.  Please Run VeSetup.exe"},
       std::nullopt,
       "1"},
      {"no arguments: 253",
       [](Layout&) {},
       {},
       "0",
       253,
       {"Nothing to Compile, No parameters Passed"},
       std::nullopt,
       "1"},
      {"only switches: 248",
       [](Layout&) {},
       {"/x", "-y"},
       "0",
       248,
       {"Nothing to Compile, No Project passed on command line"},
       std::nullopt,
       "1"},
      {"an empty USER: 246",
       [](Layout& l) { l.user = ""; },
       {"Demo"},
       "0",
       246,
       {"unable to resolve Master path from ini file Citect.ini"},
       std::nullopt,
       "1"},
      {"no master table: 249",
       [](Layout& l) { l.master_table = false; },
       {"Demo"},
       "0",
       249,
       {"Error : Unable to open {DIR}/master\\master.dbf"},
       std::nullopt,
       "1"},
      {"no USER: 249, the not-found sentinel in the path",
       [](Layout& l) { l.user = "-"; },
       {"Demo"},
       "0",
       249,
       {"Error : Unable to open " + kNotFound + "\\master.dbf"},
       std::nullopt,
       "1"},
      {"an Include.dbf that cannot be opened: 249",
       [](Layout& l) { l.include = "broken"; },
       {"Demo"},
       "0",
       249,
       {"Error : Unable to open {DIR}/demo\\Include.dbf."},
       std::nullopt,
       "1"},
      {"an include the master table does not list: its message, and the compile runs",
       [](Layout& l) { l.include = "Gone"; },
       {"Demo"},
       "0",
       0,
       {"Unable to find include \"Gone\" in Table {DIR}/master\\Master.dbf.",
        "Veilbox Compile Complete"},
       both,
       "1"},
      {"a project the master table does not list: 250",
       [](Layout& l) { l.listed = false; },
       {"Demo"},
       "0",
       250,
       {"Unable to find Project \"Demo\" in Table {DIR}/master\\Master.dbf."},
       std::nullopt,
       "1"},
      {"a ProtectedFile that cannot be decrypted: 251",
       [](Layout& l) {
         l.second_bytes = testing::ProtectedFileBytes({"ok"}) + "not a cipher line\r\n";
       },
       {"Demo"},
       "0",
       251,
       {"Unable to decrypt {UPPER DIR}/DEMO\\B.CI.VEILBOX: "},
       std::nullopt,
       "1"},
      {"a project directory that cannot be listed: 251",
       [](Layout& l) { l.unlistable_project = true; },
       {"Demo"},
       "0",
       251,
       {"Unable to decrypt {DIR}/demo\\: cannot list the directory (error "},
       std::nullopt,
       "1"},
      {"a journal directory others may write to: 252",
       [](Layout& l) { l.shared_journal_dir = true; },
       {"Demo"},
       "0",
       252,
       {"Veilbox cannot trust its journal directory: "},
       std::nullopt,
       "1"},
      {"no BIN: 247, nothing started",
       [](Layout& l) { l.bin = "-"; },
       {"Demo"},
       "0",
       247,
       {"BIN directory not defined in Citect.ini", CannotExecute("-1")},
       std::nullopt,
       "1"},
      {"no compiler in BIN: 247",
       [](Layout& l) { l.bin = "empty"; },
       {"Demo"},
       "0",
       247,
       {CannotExecute("{DIR}/empty")},
       std::nullopt,
       "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Layout layout;
    c.layout(layout);
    Machine machine(layout);
    const Outcome out = machine.Run(c.params, c.compiler_exit);
    EXPECT_EQ(out.code, c.code);
    ASSERT_EQ(out.messages.size(), c.messages.size()) << ::testing::PrintToString(out.messages);
    for (std::size_t i = 0; i < c.messages.size(); ++i) {
      std::string expected = c.messages[i];
      if (const auto at = expected.find("{DIR}"); at != std::string::npos)
        expected.replace(at, 5, machine.Root());
      if (const auto at = expected.find("{UPPER DIR}"); at != std::string::npos)
        expected.replace(at, 11, UpperAscii(machine.Root()));
      // A message that ends in a blank is checked up to it: the reason after
      // it comes from the system.
      if (!expected.empty() && expected.back() == ' ') {
        EXPECT_EQ(out.messages[i].substr(0, expected.size()), expected);
      } else {
        EXPECT_EQ(out.messages[i], expected);
      }
    }
    EXPECT_EQ(out.compiler_started, c.plain_at_start.has_value());
    if (c.plain_at_start) {
      EXPECT_EQ(out.plain_at_start, *c.plain_at_start);
      EXPECT_EQ(out.compile_ok_at_start, layout.compile_ok == "1" ? "0" : layout.compile_ok);
    }
    EXPECT_EQ(out.compile_ok_after, c.compile_ok_after);
    EXPECT_TRUE(out.left_after.empty()) << ::testing::PrintToString(out.left_after);
  }
}

// A compiler that cannot be started: the message says which directory,
// and the system's reason reaches the debugger output.
TEST(CompileRun, AFailedCompilerStartGivesTheSystemErrorToTheDebuggerOutput) {
  Layout layout;
  layout.bin = "empty";
  Machine machine(layout);
  const Outcome out = machine.Run({"Demo"}, "0");
  EXPECT_EQ(out.code, 247);
  const std::string::size_type at = out.debug_output.find("Veilbox cannot start the compiler: ");
  ASSERT_NE(at, std::string::npos) << out.debug_output;
  const std::string line = out.debug_output.substr(at, out.debug_output.find('\n', at) - at);
  EXPECT_NE(line.find(machine.Path("empty")), std::string::npos) << line;
  EXPECT_TRUE(line.ends_with(": " + platform::SystemErrorText(platform::kErrorFileNotFound)))
      << line;
}

}  // namespace
}  // namespace veilbox
