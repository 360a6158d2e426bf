#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/master_index.h"
#include "testing/dbf_writer.h"
#include "testing/master_index_of.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

// Another process may shorten master.dbf while the index reads it: the
// lookup does not end the run, and answers as the table now stands.
TEST(MasterIndexPosix, ATableShortenedUnderTheIndexIsReadAsItNowStands) {
  testing::ScratchDir dir;
  testing::DbfBuilder table;
  table.fields = {{"NAME", 12}, {"PATH", 20}};
  for (int i = 0; i < 2000; ++i)
    table.Add(' ', {"P" + std::to_string(i), "C:\\P" + std::to_string(i)});
  const std::string file = dir.Write("master.dbf", table.Bytes());
  MasterIndex index = testing::MasterIndexOf(file);
  ASSERT_NE(index.Find("p0"), nullptr);

  const long page = ::sysconf(_SC_PAGESIZE);
  ASSERT_EQ(::truncate(file.c_str(), page), 0);
  // Past the end now: found in no record the file still holds.
  EXPECT_EQ(index.Find("p1999"), nullptr);
  const std::string* early = index.Find("p3");
  ASSERT_NE(early, nullptr);
  EXPECT_EQ(*early, "C:\\P3");
}

}  // namespace
}  // namespace veilbox
