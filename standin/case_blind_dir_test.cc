#include "standin/case_blind_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/test_support.h"

namespace veilbox::standin {
namespace {

namespace fs = std::filesystem;

TEST(FindEntryIgnoringCase, MatchesLettersOnlyWithoutRegardToCase) {
  testing::ScratchDir dir;
  dir.Write("Alarms.ci", "a");
  dir.Write("x-Y_1.DBF", "b");
  fs::create_directory(dir.path() / "Sub Dir");
  struct Case {
    const char* name;
    const char* found;
  } cases[] = {
      {"Alarms.ci", "Alarms.ci"},
      {"ALARMS.CI", "Alarms.ci"},
      {"alarms.ci", "Alarms.ci"},
      {"X-y_1.dbf", "x-Y_1.DBF"},
      {"SUB DIR", "Sub Dir"},
      {"Alarms.ci ", ""},
      {"Alarms", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindEntryIgnoringCase(dir.str(), c.name), c.found) << c.name;
    // Asked again, from the kept listing.
    EXPECT_EQ(FindEntryIgnoringCase(dir.str(), c.name), c.found) << c.name;
  }
  EXPECT_EQ(FindEntryIgnoringCase((dir.path() / "missing").string(), "x"), "");
}

TEST(FindEntryIgnoringCase, SeesChangesMadeAfterTheDirectoryWasRead) {
  testing::ScratchDir dir;
  dir.Write("Old.ci", "a");
  ASSERT_EQ(FindEntryIgnoringCase(dir.str(), "OLD.CI"), "Old.ci");

  // Created after the listing was kept.
  dir.Write("New.ci", "b");
  EXPECT_EQ(FindEntryIgnoringCase(dir.str(), "NEW.CI"), "New.ci");
  // Renamed to another letter case.
  fs::rename(dir.path() / "Old.ci", dir.path() / "OLD.ci");
  EXPECT_EQ(FindEntryIgnoringCase(dir.str(), "old.CI"), "OLD.ci");
  // Removed.
  fs::remove(dir.path() / "New.ci");
  EXPECT_EQ(FindEntryIgnoringCase(dir.str(), "new.ci"), "");
  // The directory itself removed.
  fs::remove_all(dir.path() / "OLD.ci");
  fs::remove(dir.path());
  EXPECT_EQ(FindEntryIgnoringCase(dir.str(), "old.ci"), "");
  fs::create_directory(dir.path());  // for ScratchDir's clean-up
}

// A directory that has not changed for a while: its kept listing answers
// without reading it again, and still sees every later change.
TEST(FindEntryIgnoringCase, TrustedListingsSeeLaterChanges) {
  testing::ScratchDir dir;
  dir.Write("Old.ci", "a");
  const auto settle = [&] {
    fs::last_write_time(dir.path(), fs::last_write_time(dir.path()) - std::chrono::hours(1));
  };
  settle();
  std::vector<std::string> names;
  ASSERT_TRUE(ListDirectory(dir.str(), &names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "Old.ci"}));
  EXPECT_EQ(FindEntryIgnoringCase(dir.str(), "OLD.CI"), "Old.ci");
  EXPECT_EQ(FindEntryIgnoringCase(dir.str(), "NEW.CI"), "");

  // Changed by someone else, whatever its time says afterwards.
  dir.Write("New.ci", "b");
  settle();
  EXPECT_EQ(FindEntryIgnoringCase(dir.str(), "NEW.CI"), "New.ci");
  fs::remove(dir.path() / "New.ci");
  settle();
  EXPECT_EQ(FindEntryIgnoringCase(dir.str(), "new.ci"), "");

  // Changed by this process and noted: known without reading again.
  dir.Write("Mine.ci", "c");
  NoteEntryAdded(dir.str(), "Mine.ci");
  EXPECT_EQ(FindEntryIgnoringCase(dir.str(), "MINE.CI"), "Mine.ci");
  fs::remove(dir.path() / "Mine.ci");
  NoteEntryRemoved(dir.str(), "Mine.ci");
  EXPECT_EQ(FindEntryIgnoringCase(dir.str(), "MINE.CI"), "");
}

}  // namespace
}  // namespace veilbox::standin
