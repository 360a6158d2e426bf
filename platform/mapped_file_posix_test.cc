#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/mapped_file.h"
#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

// Natively another process may shorten a mapped file; the pages it no
// longer holds read as zeros, and the view says so, instead of the read
// ending the process with a bus error.
TEST(MappedFilePosix, AFileShortenedUnderTheViewReadsAsZerosNotACrash) {
  testing::ScratchDir dir;
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const std::string path = dir.Write("data.bin", std::string(4 * page, 'x'));
  MappedFile view;
  ASSERT_TRUE(view.Open(path, nullptr));
  ASSERT_EQ(view.bytes().size(), 4 * page);
  EXPECT_EQ(view.bytes()[3 * page], 'x');
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(page)), 0);

  EXPECT_EQ(view.bytes()[0], 'x');
  EXPECT_TRUE(view.Intact());
  EXPECT_EQ(view.bytes()[2 * page + 5], '\0');
  EXPECT_EQ(view.bytes()[4 * page - 1], '\0');
  EXPECT_FALSE(view.Intact());

  // A view opened afterwards is whole again.
  MappedFile again;
  ASSERT_TRUE(again.Open(path, nullptr));
  EXPECT_EQ(again.bytes().size(), page);
  EXPECT_TRUE(again.Intact());
}

}  // namespace
}  // namespace veilbox::platform
