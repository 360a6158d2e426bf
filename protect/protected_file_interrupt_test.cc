// A soft end reaches a decryption under way.
#include <gtest/gtest.h>

#include "platform/interrupts.h"
#include "protect/protected_file.h"
#include "sysutil/interrupt_check.h"

namespace veilbox {
namespace {

// A soft end that comes while a ProtectedFile is decrypted stops the
// decryption; none pending lets it run.
TEST(ProtectedFileInterrupt, SoftEndStopsADecryption) {
  TextList header, body;
  for (const char* h : {"banner", "two", "key", "four", "five"}) header.Add(h);
  for (int i = 0; i < 10; ++i) body.Add("line");
  const std::string protected_text = EncryptProtectedText(header, body);

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
