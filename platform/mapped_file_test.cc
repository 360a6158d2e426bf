#include "platform/mapped_file.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/test_support.h"

namespace veilbox::platform {
namespace {

TEST(MappedFile, HoldsTheBytesOfTheFileOrSaysWhyNot) {
  testing::ScratchDir dir;
  const std::string content = std::string("head\0tail", 9) + std::string(70000, 'x');
  struct Case {
    const char* what;
    std::string path;
    bool opens;
    std::string bytes;
  } cases[] = {
      {"a file", dir.Write("data.bin", content), true, content},
      {"an empty file", dir.Write("empty.bin", ""), true, ""},
      {"no file", (dir.path() / "missing.bin").string(), false, ""},
      {"a directory", dir.path().string(), false, ""},
  };
  for (const Case& c : cases) {
    MappedFile view;
    std::string err;
    EXPECT_EQ(view.Open(c.path, &err), c.opens) << c.what;
    EXPECT_EQ(err.empty(), c.opens) << c.what << ": " << err;
    EXPECT_EQ(view.bytes(), c.bytes) << c.what;
    EXPECT_TRUE(view.Intact()) << c.what;
    // Moved, the view goes along; closed, it is empty.
    MappedFile moved = std::move(view);
    EXPECT_EQ(moved.bytes(), c.bytes) << c.what;
    moved.Close();
    EXPECT_TRUE(moved.bytes().empty()) << c.what;
  }
}

}  // namespace
}  // namespace veilbox::platform
