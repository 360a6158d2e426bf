#include "app/phase_timer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "testing/test_support.h"

namespace veilbox {
namespace {

class TraceVariable {
 public:
  explicit TraceVariable(const std::string& value) { Set(value.c_str()); }
  ~TraceVariable() { Set(nullptr); }

 private:
  static void Set(const char* value) {
#ifdef _WIN32
    _putenv_s(kTraceTimingsVariable, value ? value : "");
#else
    if (value)
      setenv(kTraceTimingsVariable, value, 1);
    else
      unsetenv(kTraceTimingsVariable);
#endif
  }
};

TEST(MarkPhase, AppendsLabelAndRisingTimeWhenAsked) {
  testing::ScratchDir dir;
  const std::string trace = (dir.path() / "trace.txt").string();
  dir.Write("trace.txt", "earlier 1\n");
  {
    TraceVariable variable(trace);
    MarkPhase(kPhaseCollectBegin);
    MarkPhase(kPhaseCollectEnd);
  }
  MarkPhase(kPhaseDecryptBegin);  // variable gone: nothing written

  std::istringstream lines(testing::ReadFileBytes(trace));
  std::string label;
  long long first = 0, second = 0, earlier = 0;
  lines >> label >> earlier;
  EXPECT_EQ(label, "earlier");
  lines >> label >> first;
  EXPECT_EQ(label, "collect-begin");
  lines >> label >> second;
  EXPECT_EQ(label, "collect-end");
  EXPECT_LE(first, second);
  EXPECT_FALSE(lines >> label);
}

TEST(MarkPhase, UnwritableFileIsIgnored) {
  testing::ScratchDir dir;
  TraceVariable variable((dir.path() / "missing" / "trace.txt").string());
  MarkPhase(kPhaseCompileBegin);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing"));
}

}  // namespace
}  // namespace veilbox
