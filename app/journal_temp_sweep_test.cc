#include "app/journal_temp_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/files.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

TEST(SweepJournalTemps, RemovesTheTemporaryFilesOfRunsThatAreGone) {
  veilbox::testing::ScratchDir dir;
  const std::string base = dir.str();
  for (const char* name :
       {"compile-run-7.journal.tmp", "compile-run-8.journal.tmp", "compile-run-1.journal.tmp",
        "compile-run-x.journal.tmp", "compile-run-8.journal", "other.tmp",
        "compile-run-7-0123456789ABCDEF.journal.tmp", "compile-run-8-0123456789ABCDEF.journal.tmp",
        "compile-run-8-12.journal.tmp"}) {
    dir.Write(name, "partial");
  }
  dir.Write("compile-run-9.journal.tmp/inside", "a directory of that name stays");
  // 8 still runs and is writing its journal; 1 is the caller's own id.
  const auto running = [](const platform::ProcessIdentity& p) { return p.pid == 8 || p.pid == 1; };
  std::vector<std::string> swept = SweepJournalTemps(base, {1, 5}, running);
  std::sort(swept.begin(), swept.end());
  EXPECT_EQ(swept, (std::vector<std::string>{base + "\\compile-run-1.journal.tmp",
                                             base + "\\compile-run-7-0123456789ABCDEF.journal.tmp",
                                             base + "\\compile-run-7.journal.tmp",
                                             base + "\\compile-run-8-12.journal.tmp",
                                             base + "\\compile-run-x.journal.tmp"}));
  for (const char* kept : {"compile-run-8.journal.tmp", "compile-run-8.journal", "other.tmp",
                           "compile-run-8-0123456789ABCDEF.journal.tmp"})
    EXPECT_TRUE(platform::FileExists(base + "\\" + kept)) << kept;
  EXPECT_TRUE(platform::DirectoryExists(base + "\\compile-run-9.journal.tmp"));
  EXPECT_TRUE(SweepJournalTemps(base + "\\missing", {1, 5}, running).empty());
}

}  // namespace
}  // namespace veilbox
