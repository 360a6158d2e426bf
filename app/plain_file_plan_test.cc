#include "app/plain_file_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/files.h"
#include "protect/protected_file_name.h"
#include "sysutil/text_utils.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

// The plan finds each entry by the collected position of its
// ProtectedFile: a repeat is marked, a name the run may not write has no
// entry, and dropping an entry leaves every other position on its own.
TEST(PlainFilePlan, FindsEntriesByCollectedPositionThroughDrops) {
  testing::ScratchDir dir;
  const auto entry = [&](const char* file) {
    return UpperAscii(AddBackslash(dir.str()) + file + ".Veilbox");
  };
  dir.Write("C.CI", "someone's");
  dir.Write("RO.CI", "read-only");
  platform::SetAttributes(dir.str() + "/RO.CI", platform::kAttrReadOnly);
  const std::vector<std::string> collected = {entry("A.CI"), entry("B.CI"), entry("A.CI"),
                                              entry("C.CI"), entry("RO.CI"), entry("D.CI")};
  PlainFilePlan plan = PlainFilePlan::Make(collected);

  const auto name_at = [&](std::size_t at) -> std::string {
    const PlainFileEntry* found = plan.Find(at);
    return found ? found->name : "-";
  };
  ASSERT_EQ(plan.entries().size(), 4u);
  EXPECT_TRUE(plan.Repeats(2));
  EXPECT_FALSE(plan.Repeats(0));
  EXPECT_EQ(plan.Find(4), nullptr);  // read-only: not the run's to write
  ASSERT_NE(plan.Find(3), nullptr);
  EXPECT_EQ(plan.Find(3)->kind, PlainFileKind::kAside);

  struct Step {
    std::size_t drop;
    std::vector<std::string> names;  // at positions 0, 1, 3, 5
  } steps[] = {
      {1, {PlainFileName(collected[0]), "-", name_at(3), PlainFileName(collected[5])}},
      {2, {PlainFileName(collected[0]), "-", name_at(3), PlainFileName(collected[5])}},  // a repeat
      {0, {"-", "-", name_at(3), PlainFileName(collected[5])}},
      {5, {"-", "-", name_at(3), "-"}},
  };
  for (const Step& step : steps) {
    plan.Drop(step.drop);
    EXPECT_EQ((std::vector<std::string>{name_at(0), name_at(1), name_at(3), name_at(5)}),
              step.names)
        << step.drop;
    EXPECT_EQ(plan.entries().size(),
              static_cast<std::size_t>(std::count_if(step.names.begin(), step.names.end(),
                                                     [](const std::string& n) { return n != "-"; })));
  }
  plan.FindToChange(3)->plain_stamp = platform::EntryStamp{};
  EXPECT_TRUE(plan.entries().front().plain_stamp.has_value());
}

}  // namespace
}  // namespace veilbox
