#include "text/command_line_split.h"

#include <gtest/gtest.h>

namespace veilbox::text {
namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, Arguments) {
  // The documented examples of the Windows rules, after a program name.
  struct Case {
    const char* line;
    Args args;
  } cases[] = {
      {R"(p "abc" d e)", {"abc", "d", "e"}},
      {R"(p a\\b d"e f"g h)", {R"(a\\b)", "de fg", "h"}},
      {R"(p a\\\"b c d)", {R"(a\"b)", "c", "d"}},
      {R"(p a\\\\"b c" d e)", {R"(a\\b c)", "d", "e"}},
      {R"(p a"b"" c d)", {R"(ab")", "c", "d"}},
      {R"(p "a b\\" c)", {R"(a b\)", "c"}},
      {R"(p """a""")", {R"("a")"}},
      {R"(p "" "")", {"", ""}},
      {"p \t a\t\tb  ", {"a", "b"}},
      {R"(p C:\dir\file.ci "C:\Program Files\x")", {R"(C:\dir\file.ci)", R"(C:\Program Files\x)"}},
      {R"(p "unterminated arg)", {"unterminated arg"}},
      {R"(p trailing\)", {R"(trailing\)"}},
  };
  for (const Case& c : cases) {
    Args expected = {"p"};
    expected.insert(expected.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(SplitCommandLine(c.line), expected) << c.line;
  }
}

TEST(SplitCommandLine, ProgramName) {
  struct Case {
    const char* line;
    Args args;
  } cases[] = {
      {"", {}},
      {R"("C:\Program Files\Citect\ctcomp.exe" -a)",
       {R"(C:\Program Files\Citect\ctcomp.exe)", "-a"}},
      {R"(C:\bin\x.exe)", {R"(C:\bin\x.exe)"}},
      {R"("a b"c d)", {"a bc", "d"}},
      {R"(C:\a\"b c" d)", {R"(C:\a\b c)", "d"}},
      {" x", {"", "x"}},
      {R"("")", {""}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
}

TEST(JoinCommandLine, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(QuoteArgument("plain"), "plain");
  EXPECT_EQ(QuoteArgument(R"(C:\dir\)"), R"(C:\dir\)");
  EXPECT_EQ(QuoteArgument(""), R"("")");
  EXPECT_EQ(QuoteArgument("a b"), R"("a b")");
  EXPECT_EQ(QuoteArgument(R"(C:\a b\)"), R"("C:\a b\\")");
  EXPECT_EQ(QuoteArgument(R"(say "hi")"), R"("say \"hi\"")");
  EXPECT_EQ(QuoteArgument(R"(x\"y)"), R"("x\\\"y")");
  EXPECT_EQ(QuoteProgramName(R"(C:\Program Files\x.exe)"), R"("C:\Program Files\x.exe")");
  EXPECT_EQ(QuoteProgramName(R"(C:\bin\)"), R"(C:\bin\)");
}

TEST(JoinCommandLine, SplitGivesTheArgumentsBack) {
  const Args cases[] = {
      {"prog"},
      {""},
      {R"(C:\Program Files\a b\)", ""},
      {"p", "a b", "\t", R"(\)", R"(\\")", R"(""")", R"(a\\b)", R"(end\\)", "x y\\"},
      {"p", "-p", "Project Name", R"(-iC:\Citect\User\citect.ini)"},
  };
  for (const Args& args : cases) EXPECT_EQ(SplitCommandLine(JoinCommandLine(args)), args);
}

}  // namespace
}  // namespace veilbox::text
