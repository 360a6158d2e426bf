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

// Changes noted one by one, in a directory known by two spellings ("d"
// and "d/"), where several entries differ only in letter case: each
// lookup gives what a fresh read of the directory would.
TEST(FindEntryIgnoringCase, NotedChangesKeepTheListingTrue) {
  testing::ScratchDir dir;
  const std::string slashed = dir.str() + "/";
  dir.Write("Pump.ci", "a");
  fs::last_write_time(dir.path(), fs::last_write_time(dir.path()) - std::chrono::hours(1));
  std::vector<std::string> names;
  ASSERT_TRUE(ListDirectory(slashed, &names));
  struct Step {
    bool add;
    const char* name;
    const char* ask;
    const char* found;
  } steps[] = {
      {true, "PUMP.CI", "PUMP.CI", "PUMP.CI"},
      {true, "pump.ci", "Pump.CI", ""},  // any of the three; checked below
      {false, "Pump.ci", "pump.ci", "pump.ci"},
      {false, "pump.ci", "pump.ci", "PUMP.CI"},
      {false, "PUMP.CI", "pump.ci", ""},
      {true, "Valve.ci", "VALVE.CI", "Valve.ci"},
  };
  for (const Step& step : steps) {
    const fs::path entry = dir.path() / step.name;
    if (step.add) {
      dir.Write(step.name, "x");
    } else {
      fs::remove(entry);
    }
    (step.add ? NoteEntryAdded : NoteEntryRemoved)(dir.str(), step.name);
    const std::string found = FindEntryIgnoringCase(dir.str(), step.ask);
    if (*step.found) {
      EXPECT_EQ(found, step.found) << step.name;
    } else if (std::string(step.ask) == "Pump.CI") {
      EXPECT_TRUE(found == "Pump.ci" || found == "PUMP.CI" || found == "pump.ci") << found;
    } else {
      EXPECT_EQ(found, "") << step.name;
    }
    // The other spelling of the directory agrees.
    EXPECT_EQ(FindEntryIgnoringCase(slashed, step.ask), found) << step.name;
  }
}

// Many entries added and removed through notes: none is lost or left over.
TEST(FindEntryIgnoringCase, ManyNotedEntries) {
  testing::ScratchDir dir;
  std::vector<std::string> names;
  ASSERT_TRUE(ListDirectory(dir.str(), &names));
  constexpr int kCount = 3000;
  for (int i = 0; i < kCount; ++i) {
    const std::string name = "File" + std::to_string(i) + ".ci";
    dir.Write(name, "x");
    NoteEntryAdded(dir.str(), name);
  }
  for (int i = 0; i < kCount; i += 2) {
    const std::string name = "File" + std::to_string(i) + ".ci";
    fs::remove(dir.path() / name);
    NoteEntryRemoved(dir.str(), name);
  }
  for (int i = 0; i < kCount; ++i) {
    const std::string asked = "FILE" + std::to_string(i) + ".CI";
    EXPECT_EQ(FindEntryIgnoringCase(dir.str(), asked),
              i % 2 ? "File" + std::to_string(i) + ".ci" : "")
        << asked;
  }
}

}  // namespace
}  // namespace veilbox::standin
