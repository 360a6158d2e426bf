// Hostile and careless layouts around the plain files, run natively and
// under Wine: links and second names at a plain file's name, read-only and
// system files, someone's own source, a directory, a FIFO, and a plain file
// that the compiler marks read-only or that is held open after it, and
// journals of dead runs that name files the runs cannot prove theirs. After
// each, no file holds the plain text, everything that was there before is
// as it was (bytes, attributes, times, links), and the exit code and the
// messages are as the run promises.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/run_journal.h"
#include "platform/entry_identity.h"
#include "platform/files.h"
#include "platform/user_data_dir.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/e2e/e2e_scenario.h"
#include "testing/test_support.h"

namespace veilbox::e2e {
namespace {

const std::string kSolo = "Proj\\Solo\\Solo.ci";
const std::string kSoloPlain = "C:\\VBE\\PROJ\\SOLO\\SOLO.CI";
const std::string kSecretSolo = std::string(kSecret) + " of Solo";
const std::string kHeld = "C:\\VBE-record\\held";
const std::string kSoloUnwritable =
    "Veilbox: Unable to decrypt C:\\VBE\\PROJ\\SOLO\\SOLO.CI.VEILBOX: Cannot create file " +
    kSoloPlain;

// Solo's ProtectedFile holds the secret line.
void SecretSolo(Install& s) { s.files[kSolo + ".Veilbox"] = Protect({kSecretSolo}); }
const std::vector<Seen> kSecretSoloSeen = {{"Proj\\Solo\\SOLO.CI", PlainText({kSecretSolo})}};

// Someone's own file at Solo's plain file's name, with these attributes.
std::function<void(Install&)> OwnFileAtTheName(std::uint32_t attributes) {
  return [attributes](Install& s) {
    SecretSolo(s);
    s.files[kSolo] = "my own Solo.ci, not the vendor's\r\n";
    if (attributes) s.attributes[kSolo] = attributes;
  };
}

// Holds the plain file open (readable, not deletable) as soon as the run
// has written it, tells the compiler so, and lets go after hold_ms.
std::function<void()> HoldPlainFile(int hold_ms) {
  return [hold_ms] {
    platform::File held;
    std::uint32_t error = 0;
    std::error_code ec;
    for (int i = 0; i < 2000; ++i) {
      // Only once the run has written it: an opener in between would keep
      // the run from creating it at all.
      if (std::filesystem::file_size(Native(kSoloPlain), ec) > 0 && !ec &&
          platform::File::OpenExisting(kSoloPlain, false, platform::Share::kReadWrite, &held,
                                       &error))
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(held.is_open()) << error;
    platform::File signal;
    ASSERT_TRUE(platform::File::CreateAlways(kHeld, &signal, &error)) << error;
    signal.Close();
    std::this_thread::sleep_for(std::chrono::milliseconds(hold_ms));
  };
}

void MakeSymlink(const std::string& target, const std::string& link) {
  std::filesystem::create_symlink(target, Native(link));
}

// What a layout needs of the file system beside plain files.
enum class Needs { kNothing, kSymlinks, kHardLinks, kSecondDrive };

// The second drive letter of the root's directory, as a mapped drive or
// the drive of a UNC path would be.
constexpr char kSecondDrive = 'Y';

struct Layout {
  Scenario scenario;
  Needs needs = Needs::kNothing;
};

void PrintTo(const Layout& layout, std::ostream* out) { *out << layout.scenario.name; }

const std::string kOutsideCopy = kOutside + "\\copy.txt";

// Solo's directory reached from the project Twice under other spellings
// as well: through "." and "..", with a doubled separator, and (where the
// file system has them) through a link.
std::function<void(Install&)> SoloUnderManySpellings(bool link) {
  return [link](Install& s) {
    SecretSolo(s);
    s.master.push_back({{"Twice", Proj("Twice")}});
    s.master.push_back({{"SoloDot", Proj("Solo") + "\\."}});
    s.master.push_back({{"SoloUp", Proj("Solo") + "\\..\\Solo"}});
    s.master.push_back({{"SoloDoubled", kRoot + "\\Proj\\\\Solo"}});
    std::vector<veilbox::testing::DbfRecord> includes = {
        {{"SoloDot"}}, {{"SoloUp"}}, {{"SoloDoubled"}}, {{"Solo"}}};
    if (link) {
      s.master.push_back({{"SoloLink", Proj("SoloLink")}});
      includes.insert(includes.begin() + 1, {{"SoloLink"}});
    }
    s.files["Proj\\Twice\\Include.dbf"] = veilbox::testing::MakeIncludeDbf(includes);
  };
}

const std::string kSoloLock = "C:\\VBE\\PROJ\\SOLO\\~Veilbox.lock";
const std::string kSoloLockRefused =
    "Veilbox: Veilbox cannot lock the project directory C:\\VBE\\PROJ\\SOLO\\: {NATIVE:" +
    kSoloLock + "} is not Veilbox's lock file: left as it is.  Veilbox is unable to continue.";

// A run that no longer runs, as the next run finds it in its journal.
constexpr std::uint32_t kDeadRun = 0x7FFFFFF0u;

std::string JournalPath() {
  std::string dir, err;
  EXPECT_TRUE(platform::UserDataDir(&dir, &err)) << err;
  return dir + "\\compile-run-" + std::to_string(kDeadRun) + ".journal";
}

// Writes the journal of a dead run in the user's own journal directory,
// where the next run follows it first thing.
void PlantJournal(const std::vector<PlainFileEntry>& entries) {
  RunJournalRecord record;
  record.writer = {kDeadRun, 1};
  record.plain_files = entries;
  std::string err;
  ASSERT_TRUE(WriteRunJournal(JournalPath(), record, &err)) << err;
}

std::optional<platform::EntryStamp> StampOf(const std::string& path) {
  platform::EntryStamp stamp;
  std::uint32_t error = 0;
  EXPECT_TRUE(platform::StampOf(path, &stamp, &error)) << path << ": " << error;
  return stamp;
}

// The journal is settled: nothing in it was kept for another run.
void JournalSettled(Machine&) {
  EXPECT_FALSE(platform::FileExists(JournalPath())) << JournalPath();
}

const std::string kOutsideNotes = kOutside + "\\notes.txt";
const std::string kStrangerAtAsideName = kSoloPlain + ".~vb0123456789ABCDEF";

// clang-format off
const Layout kLayouts[] = {
    // Entries at set-aside names as earlier versions drew them (4 hex
    // digits): the run draws 64 bits, never moves over one, and leaves
    // them all as they were.
    {{"EntriesAtSetAsideNamesStayAsTheyWere", {"Solo"},
      [](Install& s) {
        OwnFileAtTheName(0)(s);
        for (const char* suffix : {"0000", "0001", "7FFF", "FFFF"})
          s.files[kSolo + ".~vb" + suffix] = std::string("someone's ") + suffix;
        s.files["Proj\\Solo\\SOLO.CI.~vb0000000000000000"] = "someone's 64-bit name";
      },
      0, 0, {kComplete}, true, kSecretSoloSeen}},
    // Someone's own hidden file with one name is theirs: set aside and put
    // back, never deleted.
    {{"SomeonesOwnHiddenFileIsSetAsideAndPutBack", {"Solo"},
      OwnFileAtTheName(platform::kAttrHidden), 0, 0, {kComplete}, true, kSecretSoloSeen}},
    // One directory under several spellings: its lock is taken once, the
    // run ends, and the compiler sees the plain file.
    {{"OneDirectoryUnderManySpellingsIsLockedOnce", {"Twice"}, SoloUnderManySpellings(false), 0,
      0, {kComplete}, true, kSecretSoloSeen}},
    // One directory reached under two drive letters.
    {{"OneDirectoryUnderTwoDriveLettersIsLockedOnce", {"Twice"},
      [](Install& s) {
        SecretSolo(s);
        s.master.push_back({{"Twice", Proj("Twice")}});
        s.master.push_back({{"SoloY", std::string(1, kSecondDrive) + ":\\Proj\\Solo"}});
        s.files["Proj\\Twice\\Include.dbf"] =
            veilbox::testing::MakeIncludeDbf({{{"SoloY"}}, {{"Solo"}}});
      },
      0, 0, {kComplete}, true, kSecretSoloSeen, "0", "1", std::nullopt, {},
      [] {
        std::string err;
        ASSERT_TRUE(MakeDriveLetter(kSecondDrive, kRoot, &err)) << err;
      }},
     Needs::kSecondDrive},
    {{"OneDirectoryThroughALinkIsLockedOnce", {"Twice"}, SoloUnderManySpellings(true), 0, 0,
      {kComplete}, true, kSecretSoloSeen, "0", "1", std::nullopt, {},
      [] { MakeSymlink(Native(Proj("Solo")).string(), Proj("SoloLink")); }},
     Needs::kSymlinks},
    // Someone's entry at the lock's name: the run ends before decrypting,
    // naming it, and leaves it as it is.
    {{"SomeonesFileAtTheLocksNameEndsWith252", {"Solo"},
      [](Install& s) { SecretSolo(s); s.files["Proj\\Solo\\~Veilbox.lock"] = "my notes\r\n"; },
      0, 252, {kSoloLockRefused}, false}},
    {{"ASecondNameAtTheLocksNameEndsWith252", {"Solo"},
      [](Install& s) { SecretSolo(s); s.files["Proj\\Solo\\notes.txt"] = ""; }, 0, 252,
      {kSoloLockRefused}, false, {}, "0", "1", std::nullopt, {},
      [] {
        std::filesystem::create_hard_link(Native(Proj("Solo") + "\\notes.txt"),
                                          Native(Proj("Solo") + "\\~Veilbox.lock"));
      }},
     Needs::kHardLinks},
    {{"SomeonesOwnSourceIsSetAsideAndPutBack", {"Solo"}, OwnFileAtTheName(0), 0, 0,
      {kComplete}, true, kSecretSoloSeen}},
    {{"SomeonesHiddenFileWithASecondNameIsSetAside", {"Solo"},
      [](Install& s) { SecretSolo(s); s.files["Proj\\Solo\\second name.dbf"] = "shared bytes"; }, 0, 0,
      {kComplete}, true, kSecretSoloSeen, "0", "1", std::nullopt, {},
      [] {
        std::filesystem::create_hard_link(Native(Proj("Solo") + "\\second name.dbf"),
                                          Native(Proj("Solo") + "\\Solo.ci"));
        platform::SetAttributes(Proj("Solo") + "\\Solo.ci", platform::kAttrHidden);
      }},
     Needs::kHardLinks},
    {{"ReadOnlyFileIsLeftAsItIsAndEndsWith251", {"Solo"},
      OwnFileAtTheName(platform::kAttrReadOnly), 0, 251, {kSoloUnwritable}, false}},
    {{"SystemFileIsLeftAsItIsAndEndsWith251", {"Solo"},
      OwnFileAtTheName(platform::kAttrSystem | platform::kAttrHidden), 0, 251, {kSoloUnwritable},
      false}},
    {{"DirectoryAtTheNameEndsWith251", {"Solo"},
      [](Install& s) { SecretSolo(s); s.files[kSolo + "\\inside.txt"] = "a directory"; }, 0, 251,
      {kSoloUnwritable}, false}},
    {{"SetAsideFileIsPutBackWhenALaterProtectedFileFails", {"MYPROJ"},
      [](Install& s) {
        s.files["Proj\\MyProj\\Main.ci"] = "my own Main.ci\r\n";
        s.files["Proj\\Gamma\\Gamma.ci.Veilbox"] = MalformedProtected();
      },
      0, 251, {"Veilbox: Unable to decrypt C:\\VBE\\PROJ\\GAMMA\\GAMMA.CI.VEILBOX: {BAD}"}, false}},
    {{"LinkToAFileElsewhereIsSetAsideAndItsTargetUntouched", {"Solo"}, SecretSolo, 0, 0,
      {kComplete}, true, kSecretSoloSeen, "0", "1", std::nullopt, {},
      [] {
        std::filesystem::create_directories(Native(kOutside));
        std::ofstream(Native(kOutsideCopy), std::ios::binary) << "someone else's file";
        MakeSymlink(Native(kOutsideCopy).string(), Proj("Solo") + "\\Solo.ci");
      }},
     Needs::kSymlinks},
    {{"DanglingLinkIsSetAsideAndNothingAppearsAtItsTarget", {"Solo"}, SecretSolo, 0, 0,
      {kComplete}, true, kSecretSoloSeen, "0", "1", std::nullopt, {},
      [] { MakeSymlink(Native(kOutside + "\\new.txt").string(), Proj("Solo") + "\\SOLO.CI"); }},
     Needs::kSymlinks},
    // A journal of a dead run in the user's own directory names files that
    // are not provably the run's: each is left as it is, and the run goes
    // on to compile.
    {{"JournalNamingSomeonesFileLeavesItAsItIs", {"Solo"}, OwnFileAtTheName(platform::kAttrHidden),
      0, 0, {kComplete}, true, kSecretSoloSeen, "0", "1", std::nullopt, {},
      [] { PlantJournal({{kSoloPlain, PlainFileKind::kLeftover}}); }, {}, nullptr,
      JournalSettled}},
    {{"JournalWithAStampOfAnotherFileLeavesSomeonesFileAsItIs", {"Solo"}, OwnFileAtTheName(0), 0, 0,
      {kComplete}, true, kSecretSoloSeen, "0", "1", std::nullopt, {},
      [] {
        PlainFileEntry entry{kSoloPlain, PlainFileKind::kNew};
        entry.plain_stamp = StampOf(kSoloPlain + ".Veilbox");
        PlantJournal({entry});
      },
      {}, nullptr, JournalSettled}},
    {{"JournalNamingAFileOutsideTheProjectsLeavesItAsItIs", {"Solo"}, SecretSolo, 0, 0,
      {kComplete}, true, kSecretSoloSeen, "0", "1", std::nullopt, {},
      [] {
        // Hidden, with a ProtectedFile beside it, but not its plain text.
        Write(kOutsideNotes, "my notes\r\n");
        Write(kOutsideNotes + ".Veilbox", Protect({"notes"}));
        platform::SetAttributes(kOutsideNotes, platform::kAttrHidden);
        Write(kOutside + "\\elsewhere.txt", "no ProtectedFile beside me\r\n");
        platform::SetAttributes(kOutside + "\\elsewhere.txt", platform::kAttrHidden);
        PlantJournal({{kOutsideNotes, PlainFileKind::kLeftover},
                      {kOutside + "\\elsewhere.txt", PlainFileKind::kNew}});
      },
      {}, nullptr, JournalSettled}},
    {{"JournalSetAsideNameHoldingAStrangerLeavesItThere", {"Solo"},
      [](Install& s) {
        SecretSolo(s);
        s.files["Proj\\Solo\\SOLO.CI.~vb0123456789ABCDEF"] = "a stranger's file";
      },
      0, 0, {kComplete}, true, kSecretSoloSeen, "0", "1", std::nullopt, {},
      [] {
        PlainFileEntry entry{kSoloPlain, PlainFileKind::kAside, kStrangerAtAsideName};
        entry.aside_stamp = StampOf(kSoloPlain + ".Veilbox");
        PlantJournal({entry});
      },
      {}, nullptr, JournalSettled}},
    {{"PlainFileTheCompilerMarksReadOnlyIsRemoved", {"Solo"}, SecretSolo, 5, 5, {kComplete}, true,
      kSecretSoloSeen, "0", "1", std::nullopt, {}, nullptr,
      {{"VEILBOX_FAKE_READONLY", kSoloPlain}}}},
    {{"PlainFileHeldBrieflyAfterTheCompileIsRemoved", {"Solo"}, SecretSolo, 0, 0, {kComplete},
      true, kSecretSoloSeen, "0", "1", std::nullopt, {}, nullptr,
      {{"VEILBOX_FAKE_WAIT_FOR", kHeld}}, HoldPlainFile(600)}},
    {{"PlainFileHeldTooLongIsNamedAndRemovedByTheNextRun", {"Solo"}, SecretSolo, 3, 3,
      {"Veilbox: Veilbox Compile Complete, but these decrypted files could not be removed; "
       "Veilbox removes them when it next starts: \"" + kSoloPlain + "\""},
      true, kSecretSoloSeen, "0", "1", std::nullopt, {}, nullptr,
      {{"VEILBOX_FAKE_WAIT_FOR", kHeld}}, HoldPlainFile(3500),
      [](Machine& machine) {
        const RunResult next = machine.RunVeilbox({"Empty"});
        EXPECT_EQ(next.exit_code, 3);
      }}},
};
// clang-format on

// Whether the file system here (Wine's included) makes what it needs.
bool Available(Needs needs) {
  if (needs == Needs::kSecondDrive) return true;  // the layout says why when it cannot
  veilbox::testing::ScratchDir dir;
  std::error_code ec;
  dir.Write("t", "t");
  if (needs == Needs::kSymlinks)
    std::filesystem::create_symlink(dir.path() / "t", dir.path() / "l", ec);
  if (needs == Needs::kHardLinks)
    std::filesystem::create_hard_link(dir.path() / "t", dir.path() / "l", ec);
  return !ec;
}

class PlainFileLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(PlainFileLayouts, Scenario) {
  if (!Available(GetParam().needs)) GTEST_SKIP() << "no such links here";
  RunScenario(GetParam().scenario);
  if (GetParam().needs == Needs::kSecondDrive) RemoveDriveLetter(kSecondDrive);
}

INSTANTIATE_TEST_SUITE_P(Table, PlainFileLayouts, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<Layout>& info) {
                           return std::string(info.param.scenario.name);
                         });

}  // namespace
}  // namespace veilbox::e2e
