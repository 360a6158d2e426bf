#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "app/include_walk.h"
#include "app/master_index.h"
#include "app/project_lookup.h"
#include "app/run_end.h"
#include "dbase/dbase3plus.h"
#include "sysutil/globals.h"
#include "sysutil/text_utils.h"
#include "testing/dbf_writer.h"
#include "testing/recording_ui.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

// A project directory that cannot be listed ends the run before the
// compile: going on would build the project without its protected sources
// and report success. A link that leads round in a circle cannot be opened
// even by the superuser; one that is not there lists as empty.
TEST(IncludeWalk, AProjectDirectoryThatCannotBeListedEndsTheRun) {
  veilbox::testing::ScratchDir dir;
  const std::string loop = (dir.path() / "L").string();
  ASSERT_EQ(::symlink("L", loop.c_str()), 0);
  struct Case {
    std::string project;
    bool ends;
  };
  for (const Case& c : {Case{loop, true}, Case{(dir.path() / "none").string(), false}}) {
    veilbox::testing::RecordingUi ui;
    std::vector<std::string> list;
    IncludeWalk walk;
    try {
      CollectProtectedFiles(ui, c.project, list, walk);
      EXPECT_FALSE(c.ends) << c.project << ": the run went on";
      EXPECT_TRUE(ui.messages.empty());
    } catch (const RunEnded& end) {
      EXPECT_TRUE(c.ends) << c.project;
      EXPECT_EQ(end.code(), 251);
      ASSERT_EQ(ui.messages.size(), 1u);
      EXPECT_EQ(ui.messages[0].rfind("Unable to decrypt " + AddBackslash(c.project) + ": ", 0), 0u)
          << ui.messages[0];
    }
    EXPECT_TRUE(list.empty());
  }
}

// One project directory reached under several spellings ("Q/.",
// "x/../Q", a link, doubled separators) is one directory: walked once,
// under the first spelling, so that its lock is taken once.
TEST(IncludeWalk, OneDirectoryUnderManySpellingsIsWalkedOnce) {
  veilbox::testing::ScratchDir dir;
  dir.Write("P/p.ci.Veilbox", "x");
  dir.Write("Q/q.ci.Veilbox", "x");
  dir.Write("x/keep", "x");
  ASSERT_EQ(::symlink((dir.path() / "Q").c_str(), (dir.path() / "L").c_str()), 0);
  const std::string root = dir.str();
  const std::vector<std::string> spellings = {root + "/Q/.", root + "/x/../Q", root + "/L",
                                              root + "//Q", root + "/Q"};
  std::vector<veilbox::testing::DbfRecord> master = {{{"P", root + "/P"}}};
  std::vector<veilbox::testing::DbfRecord> includes;
  for (std::size_t i = 0; i < spellings.size(); ++i) {
    master.push_back({{"S" + std::to_string(i), spellings[i]}});
    includes.push_back({{"S" + std::to_string(i)}});
  }
  dir.Write("P/Include.dbf", veilbox::testing::MakeIncludeDbf(includes));
  dir.Write("M/master.dbf", veilbox::testing::MakeMasterDbf(master));
  const std::string master_path = (dir.path() / "M").string();
  MasterIndex index;
  auto table = std::make_unique<TDBase3Plus>();
  table->SetFileName(MasterTableName(master_path));
  table->Open();
  index.Load(std::move(table));
  veilbox::testing::RecordingUi ui;
  std::vector<std::string> list;
  IncludeWalk walk;
  walk.master_index = &index;
  walk.master_path = master_path;
  CollectProtectedFiles(ui, root + "/P", list, walk);
  EXPECT_EQ(list,
            (std::vector<std::string>{UpperAscii(AddBackslash(root + "/P") + "p.ci.Veilbox"),
                                      UpperAscii(AddBackslash(spellings[0]) + "q.ci.Veilbox")}));
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace veilbox
