// A soft end reaches a decryption under way.
#include <gtest/gtest.h>

#include "platform/interrupts.h"
#include "protect/protected_file.h"
#include "testing/protected_file_builder.h"
#include "sysutil/interrupt_check.h"

namespace veilbox {
namespace {

// A soft end that comes while a ProtectedFile is decrypted stops the
// decryption; none pending lets it run.
TEST(ProtectedFileInterrupt, SoftEndStopsADecryption) {
  const std::string protected_text =
      testing::ProtectedFileBytes(std::vector<std::string>(10, "line"));

  platform::InterruptCatcher catcher;
  std::string bytes = protected_text;
  EXPECT_TRUE(DecryptProtectedText(&bytes));
  EXPECT_NO_THROW(CheckInterrupt());

  platform::RequestInterrupt(platform::kInterruptCloseRequest);
  try {
    bytes = protected_text;
    DecryptProtectedText(&bytes);
    FAIL() << "the decryption went on";
  } catch (const RunInterrupted& stop) {
    EXPECT_EQ(stop.interrupt(), platform::kInterruptCloseRequest);
  }
}

}  // namespace
}  // namespace veilbox
