#include "protect/protect_tool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "protect/protected_file.h"
#include "sysutil/globals.h"
#include "testing/protected_file_builder.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

using testing::ReadFileBytes;
using testing::ScratchDir;

struct Result {
  int status;
  std::string out;
  std::string err;
};

Result RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = RunProtectTool(args, out, err);
  return {status, out.str(), err.str()};
}

// The plain file as it comes back: every line ended by CR LF.
std::string WithCrLf(const std::string& text) {
  TextList lines;
  lines.SetText(text);
  return lines.Text();
}

std::string AllBytesInLines() {
  std::string text;
  for (int b = 1; b <= 254; ++b) {
    if (b == '\r' || b == '\n') continue;
    text += static_cast<char>(b);
    if (b % 40 == 0) text += "\r\n";
  }
  return text;
}

TEST(ProtectToolTest, EncryptThenDecryptGivesEveryByteBack) {
  struct Case {
    std::string name;
    std::string plain;
    std::vector<std::string> key;
  };
  const Case cases[] = {
      {"bytes.ci", AllBytesInLines(), {}},
      {"lf.ci", "one\n\ntwo\nno final end", {"--key", "vendor key"}},
      {"cr.ci", "one\rtwo\r\r", {"--key="}},
      {"empty.ci", "", {}},
      {"blank.ci", "\r\n\r\n", {"--key", "k"}},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    const std::string plain = dir.Write(c.name, c.plain);
    std::vector<std::string> args = {"encrypt"};
    args.insert(args.end(), c.key.begin(), c.key.end());
    args.push_back(plain);
    const Result r = RunTool(args);
    ASSERT_EQ(r.status, 0) << c.name << r.out << r.err;

    std::string bytes = ReadFileBytes(plain + ".Veilbox");
    ProtectedTextInfo info;
    ASSERT_TRUE(DecryptProtectedText(&bytes, &info));
    EXPECT_EQ(info.banner, std::string("Veilbox V1.0. See ") + kWebAddress + " for more info");

    std::filesystem::remove(plain);
    DecryptProtectedFile(plain + ".Veilbox");
    EXPECT_EQ(LastStatus, kSuccessText);
    EXPECT_EQ(ReadFileBytes(plain), WithCrLf(c.plain)) << c.name;
    // Wine reports every file as archived besides.
    EXPECT_EQ(platform::FileAttributes(plain) & ~platform::kAttrArchive, platform::kAttrHidden);
    EXPECT_EQ(RunTool({"check", plain + ".Veilbox"}).status, 0);
  }
}

TEST(ProtectToolTest, RandomKeysDifferAndNothingPlainIsPrinted) {
  ScratchDir dir;
  const std::string a = dir.Write("a.ci", "secret words\r\n");
  const std::string b = dir.Write("b.ci", "secret words\r\n");
  const Result encrypted = RunTool({"encrypt", a, b});
  ASSERT_EQ(encrypted.status, 0) << encrypted.out;
  const Result checked = RunTool({"check", a + ".Veilbox", b + ".Veilbox"});
  EXPECT_EQ(checked.status, 0);
  EXPECT_NE(checked.out.find("OK, 1 lines"), std::string::npos) << checked.out;
  for (const std::string& text : {encrypted.out, encrypted.err, checked.out, checked.err})
    EXPECT_EQ(text.find("secret"), std::string::npos) << text;
  // Header line 3 carries each file's own key.
  TextList la, lb;
  la.SetText(ReadFileBytes(a + ".Veilbox"));
  lb.SetText(ReadFileBytes(b + ".Veilbox"));
  TextList ka, kb;
  ka.Add(la[2]);
  kb.Add(lb[2]);
  CryptList(ka, BuildHeaderKey(), atDecryption);
  CryptList(kb, BuildHeaderKey(), atDecryption);
  EXPECT_EQ(ka[0].size(), 32u);
  EXPECT_NE(ka[0], kb[0]);
}

TEST(ProtectToolTest, EncryptRefusesAndWritesNothingForTheRefusedFile) {
  ScratchDir dir;
  const std::string good = dir.Write("good.ci", "fine\r\n");
  const std::string zero = dir.Write("zero.ci", std::string("a\r\nb\nc\0d\r\n", 10));
  const std::string ff = dir.Write("ff.ci", "a\rb\r\n\xFF");
  const std::string missing = dir.str() + "/missing.ci";
  const Result r = RunTool({"encrypt", zero, good, ff, missing});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(zero + ": line 3 holds a byte 0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(ff + ": line 3 holds a byte 255"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(missing + ": cannot be opened"), std::string::npos) << r.out;
  EXPECT_TRUE(std::filesystem::exists(good + ".Veilbox"));
  for (const std::string& refused : {zero, ff, missing}) {
    EXPECT_FALSE(std::filesystem::exists(refused + ".Veilbox")) << refused;
    EXPECT_FALSE(std::filesystem::exists(refused + ".Veilbox.partial")) << refused;
  }

  // An existing ProtectedFile stays unless --force is given.
  const std::string before = ReadFileBytes(good + ".Veilbox");
  const Result again = RunTool({"encrypt", good});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.out.find("already exists"), std::string::npos) << again.out;
  EXPECT_EQ(ReadFileBytes(good + ".Veilbox"), before);
  EXPECT_EQ(RunTool({"encrypt", "--force", good}).status, 0);
  EXPECT_NE(ReadFileBytes(good + ".Veilbox"), before);
}

TEST(ProtectToolTest, CheckNamesWhyAFileFails) {
  ScratchDir dir;
  const std::string plain = dir.Write("p.ci", "a\r\nb\r\nc\r\n");
  ASSERT_EQ(RunTool({"encrypt", "--key", "k", plain}).status, 0);
  TextList lines;
  lines.SetText(ReadFileBytes(plain + ".Veilbox"));
  TextList four;
  for (int i = 0; i < 4; ++i) four.Add(lines[i]);
  lines[6] = "G" + lines[6];
  const std::string short_file = dir.Write("short.Veilbox", four.Text());
  const std::string bad_file = dir.Write("bad.Veilbox", lines.Text());
  const std::string foreign = dir.Write(
      "foreign.Veilbox", testing::ProtectedFileFrom({"some other banner", "", "k", "", ""}, {}));
  const std::string missing = dir.str() + "/missing.Veilbox";

  const Result r = RunTool({"check", plain + ".Veilbox", short_file, bad_file, foreign, missing});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(plain + ".Veilbox: OK, 3 lines"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(short_file + ": fewer than 5 lines"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(bad_file + ": line 7 is malformed"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(foreign + ": no banner"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(missing + ": cannot be opened"), std::string::npos) << r.out;
  EXPECT_FALSE(std::filesystem::exists(plain + ".Veilbox.partial"));
}

TEST(ProtectToolTest, UsageErrorsAndHelp) {
  const std::vector<std::vector<std::string>> usage_errors = {
      {},
      {"decrypt", "x"},
      {"encrypt"},
      {"check"},
      {"encrypt", "x", "--key"},
      {"encrypt", "--bogus", "x"},
      {"check", "--force", "x"},
      {"encrypt", "--key", "bad\xFFkey", "x"},
  };
  for (const auto& args : usage_errors) {
    const Result r = RunTool(args);
    EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(r.err.find("Usage:"), std::string::npos);
  }
  const Result help = RunTool({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("encrypt [--key KEY] [--force] FILE..."), std::string::npos);
}

// Wildcards are expanded by the tool itself, as Windows programs do; a
// pattern without a match is an error of its own and the others go on.
TEST(ProtectToolTest, WildcardsAndRecursiveSearch) {
  struct Case {
    std::vector<std::string> args;  // "@" stands for the directory
    int status;
    std::vector<std::string> written;  // relative, in the order reported
    const char* out_holds;
  };
  const std::vector<Case> cases = {
      {{"encrypt", "@/*.ci"}, 0, {"a.ci", "B.CI"}, "2 files, written: 2, failed: 0"},
      {{"encrypt", "@/?.ci"}, 0, {"a.ci", "B.CI"}, ""},
      {{"encrypt", "@/sub/*.ci"}, 0, {"sub/d.ci"}, ": written, 1 lines"},
      {{"encrypt", "@/*.nothing", "@/c.txt"}, 1, {"c.txt"}, "*.nothing: no file matches"},
      {{"encrypt", "@/*"}, 0, {"a.ci", "B.CI", "c.txt"}, "3 files"},
      {{"encrypt", "--recursive", "@", "*.ci"},
       0,
       {"a.ci", "B.CI", "sub/d.ci", "sub/deep/e.ci"},
       "4 files"},
      {{"encrypt", "--recursive", "@/sub", "*.ci", "*.txt"}, 0, {"sub/d.ci", "sub/deep/e.ci"}, ""},
      {{"encrypt", "--recursive", "@", "*.none"}, 1, {}, "no file below it matches"},
      {{"encrypt", "--recursive", "@/missing", "*.ci"}, 1, {}, "not a directory"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    for (const char* name : {"a.ci", "B.CI", "c.txt", "sub/d.ci", "sub/deep/e.ci"})
      dir.Write(name, "line\r\n");
    dir.Write("old.ci.Veilbox", "left alone\r\n");
    std::vector<std::string> args;
    for (std::string arg : c.args) {
      if (arg[0] == '@') arg = dir.str() + arg.substr(1);
      args.push_back(arg);
    }
    const Result r = RunTool(args);
    SCOPED_TRACE(c.args[1] + " " + (c.args.size() > 2 ? c.args[2] : ""));
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    EXPECT_NE(r.out.find(c.out_holds), std::string::npos) << r.out;
    std::size_t at = 0;
    for (const std::string& name : c.written) {
      EXPECT_TRUE(std::filesystem::exists(dir.path() / (name + ".Veilbox"))) << name;
      const std::size_t next =
          r.out.find(std::filesystem::path(name).filename().string() + ".Veilbox: written", at);
      EXPECT_NE(next, std::string::npos) << name << " in order in\n" << r.out;
      at = next;
    }
    EXPECT_EQ(ReadFileBytes(dir.path() / "old.ci.Veilbox"), "left alone\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "old.ci.Veilbox.Veilbox"));
    // Only the named files were written.
    std::size_t protected_files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path()))
      protected_files += entry.path().extension() == ".Veilbox";
    EXPECT_EQ(protected_files, c.written.size() + 1) << r.out;
  }
}

TEST(ProtectToolTest, AMissingFileIsReportedInWords) {
  ScratchDir dir;
  const Result r = RunTool({"check", dir.str() + "/nosuch.ci.Veilbox"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("nosuch.ci.Veilbox: cannot be opened: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(" (2)\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("error"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace veilbox
