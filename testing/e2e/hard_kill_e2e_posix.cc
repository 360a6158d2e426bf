// Runs killed outright (SIGKILL) while they write plain files, against the
// native build: at the moment the k-th plain file appears, for every k,
// and at random moments over the whole run. Some plain files' names hold
// someone's own file or a link when the run starts. After each kill a run
// of another project cleans up: no file anywhere holds the plain text,
// everything set aside is back as it was, and no journal remains.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "platform/files.h"
#include "platform/profile.h"
#include "sysutil/text_utils.h"
#include "testing/dbf_writer.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/e2e/e2e_scenario.h"
#include "testing/test_support.h"

namespace veilbox::e2e {
namespace {

constexpr int kFiles = 8;
const std::string kMany = Proj("Many");

// How far the run has come in Many: plain files created, entries set aside.
int Progress(const std::string& dir) {
  int count = 0;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return 0;
  while (dirent* entry = ::readdir(d)) {
    const std::string name = entry->d_name;
    if ((name.size() == 5 && name[0] == 'F' && name.substr(2) == ".CI") ||
        name.find(".~vb") != std::string::npos)
      ++count;
  }
  ::closedir(d);
  return count;
}

class HardKill : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_ = StageSettings(machine_, Install{}) + "Citect.ini";
    Write(kUser + "\\master.dbf",
          veilbox::testing::MakeMasterDbf({{{"Many", kMany}}, {{"Other", Proj("Other")}}}));
    // Large enough that writing each plain file takes a moment.
    std::vector<std::string> lines(3000, std::string(kSecret) + std::string(60, 'x'));
    for (int i = 1; i <= kFiles; ++i)
      Write(kMany + "\\F" + std::to_string(i) + ".ci.Veilbox", Protect(lines));
    Write(Proj("Other") + "\\Other.ci.Veilbox", Protect({std::string(kSecret) + " other"}));
    // Someone's own files at two plain files' names (one hidden, with a
    // second name), a link at a third and a FIFO at a fourth.
    Write(kMany + "\\F3.ci", "my own F3\r\n");
    Write(kMany + "\\F6.CI", "my own F6, hidden\r\n");
    platform::SetAttributes(kMany + "\\F6.CI", platform::kAttrHidden);
    Write(kOutside + "\\target.txt", "someone else's file\r\n");
    std::filesystem::create_symlink(Native(kOutside + "\\target.txt"), Native(kMany + "\\F5.ci"));
    std::filesystem::create_hard_link(Native(kMany + "\\F6.CI"), Native(kMany + "\\F6 copy.txt"));
    // A FIFO, which a run that opened it would wait on for ever.
    ASSERT_EQ(::mkfifo(Native(kMany + "\\F7.ci").c_str(), 0644), 0);
    const std::filesystem::path compiler = Native(kBin + "\\ctcomp.exe");
    std::filesystem::create_directories(compiler.parent_path());
    std::filesystem::copy_file(veilbox::testing::HelperPath("sleep-ms"), compiler);
    before_ = Snapshot(kRoot);
    outside_before_ = Snapshot(kOutside);
  }

  pid_t Start(const std::vector<std::string>& args) {
    const std::string program = VeilboxPath();
    std::vector<std::string> text = {program};
    text.insert(text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : text) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      if (std::freopen("/dev/null", "w", stderr) == nullptr) _exit(126);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    return pid;
  }

  static int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // A run of Many killed by `kill_when`; then a run of Other, which must
  // leave everything as it was before.
  void KillAndRecover(const std::function<void(pid_t)>& kill_when,
                      const std::string& compile_ms = "200") {
    // The compiler sleeps briefly: one orphaned by the kill ends soon.
    const pid_t run = Start({compile_ms, "Many"});
    kill_when(run);
    kill(run, SIGKILL);
    Wait(run);
    EXPECT_EQ(Wait(Start({"0", "Other"})), 0);
    EXPECT_EQ(Snapshot(kRoot), before_);
    EXPECT_EQ(Snapshot(kOutside), outside_before_);
    for (const std::string& root : {kRoot, kOutside})
      EXPECT_EQ(FilesHoldingTheSecret(root), std::vector<std::string>{}) << root;
    EXPECT_EQ(platform::GetProfileValue("CTEDIT", "COMPILEOKMESSAGE", "(missing)", settings_), "1");
    for (const auto& entry : std::filesystem::directory_iterator(std::getenv("VEILBOX_PREFIX")))
      EXPECT_NE(entry.path().extension(), ".journal") << entry.path();
  }

  Machine machine_{kRoot};
  std::string settings_;
  std::map<std::string, std::string> before_, outside_before_;
};

TEST_F(HardKill, AtTheMomentTheKthPlainFileAppears) {
  const std::string dir = Native(kMany).string();
  for (int k = 1; k <= kFiles; ++k) {
    SCOPED_TRACE(k);
    KillAndRecover([&](pid_t run) {
      for (int i = 0; i < 2000000 && Progress(dir) < k; ++i) {
        siginfo_t info = {};
        if (waitid(P_PID, static_cast<id_t>(run), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
            info.si_pid != 0)
          break;  // the run ended by itself
      }
    });
    if (::testing::Test::HasFailure()) return;
  }
}

// Between the kill and the next run, a person removes the run's plain
// files by hand and puts their own at those names: a restored source, a
// read-only file, a second name of a file of theirs, a hidden file of
// their own. The next run
// proves none of them the run's: each stays as it was put, everything set
// aside comes back, and no plain text is left anywhere.
TEST_F(HardKill, SomeonesFilesAtRecordedNamesAfterTheKillStay) {
  const std::string dir = Native(kMany).string();
  const pid_t run = Start({"200", "Many"});
  for (int i = 0; i < 2000000 && Progress(dir) < kFiles; ++i) {
    siginfo_t info = {};
    if (waitid(P_PID, static_cast<id_t>(run), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
        info.si_pid != 0)
      break;
  }
  kill(run, SIGKILL);
  Wait(run);
  std::vector<std::string> persons;
  for (const char* name : {"F1.CI", "F2.CI", "F4.CI", "F8.CI"}) {
    const std::string path = kMany + "\\" + name;
    std::filesystem::remove(Native(path));
    persons.push_back(std::string("Proj/Many/") + name);
  }
  Write(kMany + "\\F1.CI", "my restored source of F1\r\n");
  Write(kMany + "\\F2.CI", "my read-only F2\r\n");
  platform::SetAttributes(kMany + "\\F2.CI", platform::kAttrReadOnly);
  // A second name of a file of theirs.
  Write(kMany + "\\F4 mine.txt", "my F4, under two names\r\n");
  std::filesystem::create_hard_link(Native(kMany + "\\F4 mine.txt"), Native(kMany + "\\F4.CI"));
  persons.push_back("Proj/Many/F4 mine.txt");
  Write(kMany + "\\F8.CI", "my own hidden F8\r\n");
  platform::SetAttributes(kMany + "\\F8.CI", platform::kAttrHidden);
  const std::map<std::string, std::string> placed = Snapshot(kRoot);

  EXPECT_EQ(Wait(Start({"0", "Other"})), 0);
  std::map<std::string, std::string> expected = before_;
  for (const std::string& name : persons) {
    ASSERT_TRUE(placed.count(name)) << name;
    expected[name] = placed.at(name);
  }
  EXPECT_EQ(Snapshot(kRoot), expected);
  EXPECT_EQ(Snapshot(kOutside), outside_before_);
  for (const std::string& root : {kRoot, kOutside})
    EXPECT_EQ(FilesHoldingTheSecret(root), std::vector<std::string>{}) << root;
  EXPECT_EQ(platform::GetProfileValue("CTEDIT", "COMPILEOKMESSAGE", "(missing)", settings_), "1");
}

TEST_F(HardKill, AtRandomMoments) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Wait(Start({"0", "Many"})), 0);
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  std::mt19937 random(20261210);
  std::uniform_int_distribution<long long> moment(0, whole.count());
  for (int i = 0; i < 8; ++i) {
    const std::chrono::microseconds after(moment(random));
    SCOPED_TRACE(after.count());
    KillAndRecover([&](pid_t) { std::this_thread::sleep_for(after); }, "0");
    if (::testing::Test::HasFailure()) return;
  }
}

}  // namespace
}  // namespace veilbox::e2e
