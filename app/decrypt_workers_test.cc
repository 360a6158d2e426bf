#include "app/decrypt_workers.h"

#include <gtest/gtest.h>

namespace veilbox {
namespace {

TEST(DecryptWorkers, OnePerProcessorCappedUnlessSet) {
  struct Case {
    const char* setting;
    unsigned processors;
    unsigned workers;
  };
  const Case cases[] = {
      {nullptr, 0, 1},
      {nullptr, 2, 2},
      {nullptr, 64, kMaxDecryptWorkers},
      {"", 4, 4},
      {"1", 16, 1},
      {"12", 2, 12},
      {"0", 2, 2},
      {"-3", 2, 2},
      {"4x", 2, 2},
      {" 4", 2, 2},
      {"99999999999999", 2, 64},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecryptWorkerCount(c.setting, c.processors), c.workers)
        << (c.setting ? c.setting : "(unset)") << " " << c.processors;
  }
}

}  // namespace
}  // namespace veilbox
