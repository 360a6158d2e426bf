// A journal directory that someone else could have written to, against the
// native build: the run ends before it decrypts anything, with 252 and a
// message naming the directory, and follows no journal that lies there, so
// a journal planted in it deletes and moves nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/run_journal.h"
#include "platform/entry_identity.h"
#include "platform/files.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/e2e/e2e_scenario.h"
#include "testing/test_support.h"

namespace veilbox::e2e {
namespace {

namespace fs = std::filesystem;

const std::string kSoloPlain = "C:\\VBE\\PROJ\\SOLO\\SOLO.CI";
const std::string kVictim = kOutside + "\\victim.txt";

struct Case {
  const char* name;
  // Makes the journal directory untrustworthy; false when this machine
  // cannot (giving a directory away takes root).
  std::function<bool(const std::string& dir)> spoil;
  const char* why;  // the end of the message, after the directory's name
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

const Case kCases[] = {
    {"WritableByEveryone", [](const std::string& dir) { return chmod(dir.c_str(), 0777) == 0; },
     " can be written by other users"},
    {"WritableByItsGroup", [](const std::string& dir) { return chmod(dir.c_str(), 0770) == 0; },
     " can be written by other users"},
    {"OwnedBySomeoneElse",
     [](const std::string& dir) { return geteuid() == 0 && chown(dir.c_str(), 65534, 65534) == 0; },
     " belongs to another user"},
};

class UntrustedJournalDirectory : public ::testing::TestWithParam<Case> {};

TEST_P(UntrustedJournalDirectory, EndsBeforeDecryptingAndFollowsNoJournal) {
  Machine machine(kRoot);
  Install setup;
  // Someone's own file at Solo's plain file's name.
  setup.files["Proj\\Solo\\Solo.ci"] = "my own Solo.ci\r\n";
  const std::string windows_dir = LayOut(machine, setup);
  const std::string dir = std::getenv("VEILBOX_PREFIX");

  // A planted journal of a dead run: it names a file outside the projects,
  // hidden, with a ProtectedFile beside it whose plain text it holds, and
  // its stamp, so that recovery would take it for a plain file of that
  // run; and the person's file as set aside to a name that does not exist.
  Write(kVictim, PlainText({"victim"}));
  Write(kVictim + ".Veilbox", Protect({"victim"}));
  platform::SetAttributes(kVictim, platform::kAttrHidden);
  RunJournalRecord record;
  record.writer = {0x7FFFFFF0u, 1};
  PlainFileEntry victim{kVictim, PlainFileKind::kNew};
  platform::EntryStamp stamp;
  std::uint32_t error = 0;
  ASSERT_TRUE(platform::StampOf(kVictim, &stamp, &error)) << error;
  victim.plain_stamp = stamp;
  record.plain_files = {victim, {kSoloPlain, PlainFileKind::kLeftover}};
  record.ok_message_suppressed = true;
  record.settings_file = "Citect.ini";
  const std::string journal = dir + "/compile-run-2147483632.journal";
  std::string err;
  ASSERT_TRUE(WriteRunJournal(journal, record, &err)) << err;
  const std::string journal_bytes = veilbox::testing::ReadFileBytes(journal);

  if (!GetParam().spoil(dir)) GTEST_SKIP() << "cannot make " << dir << " so here";
  const auto before = Snapshot(kRoot);
  const auto outside_before = Snapshot(kOutside);
  const RunResult run = machine.RunVeilbox({"Solo"});
  chmod(dir.c_str(), 0700);
  if (chown(dir.c_str(), geteuid(), getegid()) != 0) ADD_FAILURE() << "cannot take back " << dir;

  EXPECT_EQ(run.exit_code, 252);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, "Veilbox cannot trust its journal directory: " + dir +
                                   GetParam().why + ".  Veilbox is unable to continue.");
  EXPECT_TRUE(run.problems.empty()) << ::testing::PrintToString(run.problems);
  EXPECT_EQ(Snapshot(kRoot), before);
  EXPECT_EQ(Snapshot(kOutside), outside_before);
  EXPECT_EQ(veilbox::testing::ReadFileBytes(journal), journal_bytes);
  EXPECT_EQ(FilesHoldingTheSecret(kRoot), std::vector<std::string>{});
  EXPECT_EQ(veilbox::testing::ReadFileBytes(platform::NativePath(windows_dir + "Citect.ini")),
            CitectIni(kUser, kBin, "1"));
}

INSTANTIATE_TEST_SUITE_P(Table, UntrustedJournalDirectory, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace veilbox::e2e
