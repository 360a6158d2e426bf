// A journal directory whose access list lets everyone write to it, against
// veilbox.exe: the run ends before it decrypts anything, with 252 and a
// message naming the directory, and follows no journal that lies there, so
// a journal planted in it deletes and moves nothing.
#include <aclapi.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/run_journal.h"
#include "platform/entry_identity.h"
#include "platform/files.h"
#include "platform/user_data_dir.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/e2e/e2e_scenario.h"

namespace veilbox::e2e {
namespace {

// Lets Everyone do anything in a directory for the object's life, and
// puts its access list back afterwards.
class EveryoneMayWrite {
 public:
  explicit EveryoneMayWrite(const std::string& dir) : dir_(dir) {
    if (GetNamedSecurityInfoA(dir_.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &saved_dacl_, nullptr, &saved_) != ERROR_SUCCESS)
      return;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    GetSecurityDescriptorControl(saved_, &control, &revision);
    protected_ = (control & SE_DACL_PROTECTED) != 0;
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof everyone;
    if (!CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size)) return;
    EXPLICIT_ACCESSA entry = {};
    entry.grfAccessPermissions = GENERIC_ALL;
    entry.grfAccessMode = GRANT_ACCESS;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.ptstrName = reinterpret_cast<LPSTR>(everyone);
    PACL acl = nullptr;
    if (SetEntriesInAclA(1, &entry, saved_dacl_, &acl) != ERROR_SUCCESS) return;
    made_ = SetNamedSecurityInfoA(const_cast<char*>(dir_.c_str()), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr, acl,
                                  nullptr) == ERROR_SUCCESS;
    LocalFree(acl);
  }
  ~EveryoneMayWrite() {
    if (made_)
      SetNamedSecurityInfoA(
          const_cast<char*>(dir_.c_str()), SE_FILE_OBJECT,
          DACL_SECURITY_INFORMATION | (protected_ ? PROTECTED_DACL_SECURITY_INFORMATION
                                                  : UNPROTECTED_DACL_SECURITY_INFORMATION),
          nullptr, nullptr, saved_dacl_, nullptr);
    if (saved_) LocalFree(saved_);
  }
  EveryoneMayWrite(const EveryoneMayWrite&) = delete;
  EveryoneMayWrite& operator=(const EveryoneMayWrite&) = delete;

  bool made() const { return made_; }

 private:
  std::string dir_;
  PSECURITY_DESCRIPTOR saved_ = nullptr;
  PACL saved_dacl_ = nullptr;
  bool protected_ = false;
  bool made_ = false;
};

TEST(UntrustedJournalDirectoryWin32, EndsBeforeDecryptingAndFollowsNoJournal) {
  Machine machine(kRoot);
  Install setup;
  setup.files["Proj\\Solo\\Solo.ci"] = "my own Solo.ci\r\n";
  LayOut(machine, setup);
  std::string dir, err;
  ASSERT_TRUE(platform::UserDataDir(&dir, &err)) << err;

  // A planted journal of a dead run naming a hidden file outside the
  // projects, with a ProtectedFile beside it whose plain text it holds, and
  // its stamp: a journal that was followed would delete it.
  const std::string victim = kOutside + "\\victim.txt";
  Write(victim, PlainText({"victim"}));
  Write(victim + ".Veilbox", Protect({"victim"}));
  platform::SetAttributes(victim, platform::kAttrHidden);
  RunJournalRecord record;
  record.writer = {0x7FFFFFF0u, 1};
  PlainFileEntry entry{victim, PlainFileKind::kNew};
  platform::EntryStamp stamp;
  std::uint32_t error = 0;
  ASSERT_TRUE(platform::StampOf(victim, &stamp, &error)) << error;
  entry.plain_stamp = stamp;
  record.plain_files = {entry, {"C:\\VBE\\PROJ\\SOLO\\SOLO.CI", PlainFileKind::kLeftover}};
  const std::string journal = dir + "\\compile-run-2147483632.journal";
  ASSERT_TRUE(WriteRunJournal(journal, record, &err)) << err;

  const auto before = Snapshot(kRoot);
  const auto outside_before = Snapshot(kOutside);
  RunResult run;
  {
    EveryoneMayWrite spoiled(dir);
    if (!spoiled.made()) {
      platform::RemoveFile(journal, &error);
      GTEST_SKIP() << "the system here keeps no access list as set";
    }
    run = machine.RunVeilbox({"Solo"});
  }
  const bool journal_kept = platform::FileExists(journal);
  platform::RemoveFile(journal, &error);  // it would be followed by the next run here

  EXPECT_EQ(run.exit_code, 252);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].text, "Veilbox cannot trust its journal directory: " + dir +
                                   " can be written by other users.  Veilbox is unable to "
                                   "continue.");
  EXPECT_TRUE(run.problems.empty()) << ::testing::PrintToString(run.problems);
  EXPECT_TRUE(journal_kept);
  EXPECT_EQ(Snapshot(kRoot), before);
  EXPECT_EQ(Snapshot(kOutside), outside_before);
  EXPECT_EQ(FilesHoldingTheSecret(kRoot), std::vector<std::string>{});
  std::filesystem::remove(Native(victim));
  std::filesystem::remove(Native(victim + ".Veilbox"));
}

}  // namespace
}  // namespace veilbox::e2e
