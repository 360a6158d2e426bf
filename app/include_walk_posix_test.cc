#include <gtest/gtest.h>
#include <unistd.h>

#include "app/include_walk.h"
#include "app/run_end.h"
#include "sysutil/text_utils.h"
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

}  // namespace
}  // namespace veilbox
