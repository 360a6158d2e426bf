#include <gtest/gtest.h>

#include "testing/test_support.h"

int main(int argc, char** argv) {
  veilbox::testing::internal::SetTestBinaryPath(argv[0]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
