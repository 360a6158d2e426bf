// Runs that do not end the normal way, against the native build: a
// compiler that crashes, a soft end (signal) during the compile, a run
// killed outright and the run after it, and two runs started together on
// projects that share an include. After each, no plain file is left, the
// tree of projects and tables is as it was, COMPILEOKMESSAGE is "1" again
// and no run journal remains.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/profile.h"
#include "protect/protected_file.h"
#include "protect/text_list.h"
#include "sysutil/text_utils.h"
#include "testing/dbf_writer.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/e2e/e2e_scenario.h"
#include "testing/test_support.h"

namespace veilbox::e2e {
namespace {

using veilbox::testing::DbfRecord;

// Every file below the root with its bytes.
std::map<std::string, std::string> Tree() {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(Native(kRoot))) {
    if (entry.is_regular_file()) {
      files[entry.path().string()] = veilbox::testing::ReadFileBytes(entry.path());
    }
  }
  return files;
}

bool PlainFileExists() {
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(Native(kRoot + "\\Proj"))) {
    const std::string name = UpperAscii(entry.path().filename().string());
    if (name.size() > 3 && name.substr(name.size() - 3) == ".CI") return true;
  }
  return false;
}

// Solo, Other and Shared; Solo and Other both include Shared. The
// compiler is the given program.
class RunEndings : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_ = StageSettings(machine_, Install{}) + "Citect.ini";
    LayOutSharedInclude();
    UseCompiler(veilbox::testing::HelperPath("sleep-ms"));
    before_ = Tree();
  }

  void UseCompiler(const std::string& program) {
    const std::filesystem::path compiler = Native(kBin + "\\ctcomp.exe");
    std::filesystem::create_directories(compiler.parent_path());
    std::filesystem::copy_file(program, compiler,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(compiler, std::filesystem::perms::owner_all);
  }

  // Starts Veilbox; its message boxes go nowhere.
  pid_t Start(const std::vector<std::string>& args, rlim_t open_files = 0) {
    const std::string program = VeilboxPath();
    std::vector<std::string> text = {program};
    text.insert(text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : text) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      if (std::freopen("/dev/null", "w", stderr) == nullptr) _exit(126);
      if (open_files != 0) {
        const rlimit limit{open_files, open_files};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(126);
      }
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    return pid;
  }

  // The run's status as the shells report it.
  static int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  static void AwaitPlainFile() {
    for (int i = 0; i < 1000 && !PlainFileExists(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(PlainFileExists());
  }

  void ExpectCleanedUp() {
    EXPECT_EQ(Tree(), before_);
    EXPECT_EQ(platform::GetProfileValue("CTEDIT", "COMPILEOKMESSAGE", "(missing)", settings_), "1");
    for (const auto& entry : std::filesystem::directory_iterator(std::getenv("VEILBOX_PREFIX"))) {
      EXPECT_NE(entry.path().extension(), ".journal") << entry.path();
    }
  }

  Machine machine_{kRoot};
  std::string settings_;
  std::map<std::string, std::string> before_;
};

TEST_F(RunEndings, CompilerThatCrashes) {
  const std::filesystem::path script = std::filesystem::path(std::getenv("VEILBOX_PREFIX")) / "c";
  std::ofstream(script) << "#!/bin/sh\nkill -SEGV $$\n";
  UseCompiler(script.string());
  before_ = Tree();
  EXPECT_EQ(Wait(Start({"Solo"})), 128 + SIGSEGV);
  ExpectCleanedUp();
}

TEST_F(RunEndings, SoftEndDuringTheCompileEndsTheRunByItAfterCleaningUp) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    const auto start = std::chrono::steady_clock::now();
    const pid_t run = Start({"20000", "Solo"});
    AwaitPlainFile();
    kill(run, sig);
    EXPECT_EQ(Wait(run), 128 + sig);
    // The compiler had it too: the run did not wait out its 20 seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    ExpectCleanedUp();
  }
}

TEST_F(RunEndings, TheRunAfterARunKilledOutrightCleansUp) {
  const pid_t run = Start({"20000", "Solo"});
  AwaitPlainFile();
  // The stand-in compiler, orphaned by the kill, is ended by its id too.
  std::string children;
  for (int i = 0; i < 200 && children.empty(); ++i) {
    children = veilbox::testing::ReadFileBytes("/proc/" + std::to_string(run) + "/task/" +
                                               std::to_string(run) + "/children");
    if (children.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(run, SIGKILL);
  EXPECT_EQ(Wait(run), 128 + SIGKILL);
  if (!children.empty()) kill(std::stoi(children), SIGKILL);
  ASSERT_TRUE(PlainFileExists());
  EXPECT_EQ(platform::GetProfileValue("CTEDIT", "COMPILEOKMESSAGE", "", settings_), "0");

  EXPECT_EQ(Wait(Start({"0", "Other"})), 0);
  ExpectCleanedUp();
}

TEST_F(RunEndings, RunsOfProjectsSharingAnIncludeStartedTogether) {
  const pid_t a = Start({"500", "Solo"});
  const pid_t b = Start({"500", "Other"});
  EXPECT_EQ(Wait(a), 0);
  EXPECT_EQ(Wait(b), 0);
  ExpectCleanedUp();
}

// A chain of includes deeper than the handles the run may open: the first
// thing that cannot be opened ends the run, a table (249) or a project
// directory's listing (251), and nothing is decrypted.
TEST_F(RunEndings, IncludeChainBeyondTheOpenFileLimit) {
  std::vector<DbfRecord> master = {{{"Solo", Proj("Solo")}}};
  const auto name = [](int i) {
    std::string text = "C";  // appended, not "C" + ...: GCC 12 warns wrongly on that
    return text.append(std::to_string(i));
  };
  Write(Proj("Solo") + "\\Include.dbf", veilbox::testing::MakeIncludeDbf({{{name(1)}}}));
  for (int i = 1; i <= 60; ++i) {
    master.push_back({{name(i), Proj(name(i))}});
    Write(Proj(name(i)) + "\\" + name(i) + ".ci.Veilbox", Protect({name(i)}));
    Write(Proj(name(i)) + "\\Include.dbf", veilbox::testing::MakeIncludeDbf({{{name(i + 1)}}}));
  }
  Write(kUser + "\\master.dbf", veilbox::testing::MakeMasterDbf(master));
  before_ = Tree();
  const int code = Wait(Start({"0", "Solo"}, 48));
  EXPECT_TRUE(code == 249 || code == 251) << code;
  ExpectCleanedUp();
}

// A run that waits for the lock and is told to stop ends by the signal and
// leaves the running one's plain files alone.
TEST_F(RunEndings, SoftEndWhileWaitingForTheLock) {
  const pid_t holder = Start({"20000", "Solo"});
  AwaitPlainFile();
  const pid_t waiter = Start({"0", "Other"});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(waiter, SIGTERM);
  EXPECT_EQ(Wait(waiter), 128 + SIGTERM);
  EXPECT_TRUE(std::filesystem::exists(Native(Proj("Solo") + "\\SOLO.CI")));
  EXPECT_TRUE(std::filesystem::exists(Native(Proj("Shared") + "\\SHARED.CI")));
  kill(holder, SIGTERM);
  EXPECT_EQ(Wait(holder), 128 + SIGTERM);
  ExpectCleanedUp();
}

// A ProtectedFile whose full name is past the Windows path limit of 259
// characters (the directory itself still fits the master table's field):
// the stand-in handles it like any other, so it is decrypted for the
// compiler and removed again. The compiler is a script that ends with 0
// only when it sees the plain file. Native only: under Wine the scratch
// tree could not be cleared again.
TEST_F(RunEndings, ProtectedFileNameLongerThan259) {
  const std::string dir = Proj("Long\\" + std::string(100, 'p') + "\\" + std::string(100, 'q'));
  const std::string plain = dir + "\\" + std::string(60, 'L') + ".ci";
  ASSERT_GT(plain.size() + 8, 259u);
  std::vector<DbfRecord> master = {{{"Long", dir}}};
  Write(kUser + "\\master.dbf", veilbox::testing::MakeMasterDbf(master));
  Write(plain + ".Veilbox", Protect({"long"}));
  const std::filesystem::path compiler = Native(kBin + "\\ctcomp.exe");
  std::filesystem::create_directories(compiler.parent_path());
  std::ofstream(compiler, std::ios::trunc)
      << "#!/bin/sh\n[ -f \"" << Native(UpperAscii(plain)).string() << "\" ] || exit 9\n";
  std::filesystem::permissions(compiler, std::filesystem::perms::owner_all);
  before_ = Tree();
  EXPECT_EQ(Wait(Start({"0", "Long"})), 0);
  ExpectCleanedUp();
}

// A FIFO named like a ProtectedFile is no ProtectedFile: the run neither
// waits for a writer nor compiles without it; it ends with the decryption
// error and leaves nothing behind.
TEST_F(RunEndings, FifoNamedLikeAProtectedFileEndsTheRunWith251) {
  const std::filesystem::path fifo = Native(Proj("Solo") + "\\Pipe.ci.Veilbox");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  before_ = Tree();
  EXPECT_EQ(Wait(Start({"Solo"})), 251);
  ExpectCleanedUp();
  EXPECT_TRUE(std::filesystem::exists(fifo));
}

}  // namespace
}  // namespace veilbox::e2e
