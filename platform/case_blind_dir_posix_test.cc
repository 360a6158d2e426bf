#include <gtest/gtest.h>

#include <filesystem>

#include "platform/case_blind_dir.h"
#include "testing/test_support.h"

namespace veilbox::platform {
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

}  // namespace
}  // namespace veilbox::platform
