#include "protect/protected_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "protect/protected_file_read.h"
#include "sysutil/errors.h"
#include "sysutil/globals.h"
#include "testing/protected_file_builder.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

using testing::ScratchDir;
using Lines = std::vector<std::string>;

TextList ListOf(const Lines& lines) {
  TextList list;
  for (const std::string& line : lines) list.Add(line);
  return list;
}

Lines Header(const std::string& body_key) {
  return {"Veilbox V1.0. See https://veilbox.example for more info", "", body_key, "", ""};
}

// A ProtectedFile's bytes, with the given line end in place of CR LF.
std::string Protect(const Lines& header, const Lines& body, const std::string& eol = "\r\n") {
  std::string bytes = testing::ProtectedFileFrom(header, body);
  std::string out;
  for (std::size_t at = 0;;) {
    const std::size_t end = bytes.find("\r\n", at);
    if (end == std::string::npos) break;
    out += bytes.substr(at, end - at) + eol;
    at = end + 2;
  }
  return out;
}

std::string CrLfLines(const Lines& lines) { return ListOf(lines).Text(); }

// The plain file's name for a ProtectedFile's full name.
std::string PlainName(const std::string& protected_name) {
  return protected_name.substr(0, protected_name.size() - 8);
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// A file's attributes apart from archive, which Wine reports for every file.
std::uint32_t AttributesOf(const std::string& path) {
  return platform::FileAttributes(path) & ~platform::kAttrArchive;
}

class DecryptProtectedFileTest : public ::testing::Test {
 protected:
  void SetUp() override { LastStatus = "stale"; }
  ScratchDir dir_;
};

TEST(ProtectedFileTest, CryptListReplacesLinesUpToTheMalformedOne) {
  EXPECT_EQ(BuildHeaderKey().size(), 67u);
  EXPECT_EQ(BuildHeaderKey(), BuildHeaderKey());
  TextList lines = ListOf({"one", "", "three"});
  CryptList(lines, "key", atEncryption);
  EXPECT_EQ(lines[1], "");
  TextList copy = lines;
  CryptList(copy, "key", atDecryption);
  EXPECT_EQ(Lines(copy.begin(), copy.end()), (Lines{"one", "", "three"}));

  TextList broken = ListOf({lines[0], "10G1", lines[2]});
  EXPECT_THROW(CryptList(broken, "key", atDecryption), ConvertError);
  EXPECT_EQ(Lines(broken.begin(), broken.end()), (Lines{"one", "10G1", lines[2]}));
}

TEST(ProtectedFileTest, DecryptsAnyLineEndsIntoCrLfLines) {
  const Lines body = {"first line",
                      "",
                      "  indented\ttab",
                      "\x01\x7F\x80\xFE",
                      "a line long enough to be read sixteen bytes at a time, and then some",
                      "last"};
  for (const std::string& key : {std::string(), std::string("body key")}) {
    for (const std::string eol : {"\r\n", "\n", "\r"}) {
      for (bool final_end : {true, false}) {
        std::string bytes = Protect(Header(key), body, eol);
        if (!final_end) bytes.resize(bytes.size() - eol.size());
        ProtectedTextInfo info;
        ASSERT_TRUE(DecryptProtectedText(&bytes, &info));
        EXPECT_EQ(bytes, CrLfLines(body)) << "key '" << key << "' eol " << eol.size();
        EXPECT_EQ(info.plain_lines, body.size());
        EXPECT_EQ(info.banner, Header(key)[0]);
      }
    }
  }
}

TEST(ProtectedFileTest, OutputLongerThanInputAndByteZero) {
  // Empty lines with one-byte line ends give more than they take.
  Lines body(500, "");
  body.push_back("after the empty lines");
  std::string bytes = Protect({"", "", "", "", ""}, body, "\n");
  ASSERT_TRUE(DecryptProtectedText(&bytes));
  EXPECT_EQ(bytes, CrLfLines(body));

  // Reading stops at the first byte 0.
  bytes = Protect(Header("k"), {"seen", "not seen"});
  bytes.insert(bytes.rfind("\r\n", bytes.size() - 3) + 2, 1, '\0');
  ASSERT_TRUE(DecryptProtectedText(&bytes));
  EXPECT_EQ(bytes, "seen\r\n");
}

TEST(ProtectedFileTest, MalformedLineNamesItsNumber) {
  const std::string good = Protect(Header("k"), {"a", "b", "c"});
  TextList lines;
  for (std::size_t bad : {1u, 3u, 5u, 6u, 8u}) {
    lines.SetText(good);
    lines[bad - 1] = "0G";
    std::string bytes = lines.Text();
    ProtectedTextInfo info;
    EXPECT_THROW(DecryptProtectedText(&bytes, &info), ConvertError);
    EXPECT_EQ(info.line_number, bad);
  }
}

TEST_F(DecryptProtectedFileTest, FewerThanFiveLinesWriteNothing) {
  const std::string full = Protect(Header("k"), {});
  TextList lines;
  lines.SetText(full);
  for (std::size_t count = 0; count < 5; ++count) {
    TextList head;
    for (std::size_t i = 0; i < count; ++i) head.Add(lines[i]);
    const std::string name = dir_.Write("short.ci.Veilbox", head.Text());
    bool wrote = true;
    DecryptProtectedFile(name, &wrote);
    EXPECT_EQ(LastStatus, kSuccessText);
    EXPECT_FALSE(wrote) << count;
    EXPECT_FALSE(Exists(PlainName(name))) << count;
  }
}

TEST_F(DecryptProtectedFileTest, WritesHiddenPlainFileBesideIt) {
  struct Case {
    std::string file_name;
    Lines body;
  };
  const Case cases[] = {
      {"header.only.Veilbox", {}},
      {"source.ci.VEILBOX", {"line one", "", "line three"}},
      {"dropped.ci.12345678", {"x"}},
  };
  for (const Case& c : cases) {
    const std::string name = dir_.Write(c.file_name, Protect(Header("secret"), c.body));
    bool wrote = false;
    DecryptProtectedFile(name, &wrote);
    EXPECT_EQ(LastStatus, kSuccessText);
    EXPECT_TRUE(wrote) << c.file_name;
    EXPECT_EQ(testing::ReadFileBytes(PlainName(name)), CrLfLines(c.body)) << c.file_name;
    EXPECT_EQ(AttributesOf(PlainName(name)), platform::kAttrHidden);
  }
}

// Without a caller's own preparation only a hidden leftover of a run that
// was cut short is replaced; anything else at the name stays as it was and
// the creation fails.
TEST_F(DecryptProtectedFileTest, ReplacesOnlyAHiddenLeftover) {
  const struct {
    std::uint32_t attributes;
    bool replaced;
  } cases[] = {
      {platform::kAttrHidden, true},
      {0, false},
      {platform::kAttrReadOnly, false},
      {platform::kAttrHidden | platform::kAttrSystem, false},
  };
  for (const auto& c : cases) {
    const std::string name = dir_.Write("again.ci.Veilbox", Protect(Header("k"), {"new"}));
    const std::string plain = dir_.Write("again.ci", "old contents\r\n");
    if (c.attributes) {
      ASSERT_TRUE(platform::SetAttributes(plain, c.attributes));
    }
    if (c.attributes && AttributesOf(plain) != c.attributes) continue;  // no attributes kept here
    bool wrote = false;
    try {
      DecryptProtectedFile(name, &wrote);
      EXPECT_TRUE(c.replaced) << c.attributes;
    } catch (const FileCreateError& e) {
      EXPECT_FALSE(c.replaced) << c.attributes;
      EXPECT_EQ(std::string(e.what()), "Cannot create file " + plain);
    }
    EXPECT_EQ(wrote, c.replaced);
    EXPECT_EQ(testing::ReadFileBytes(plain), c.replaced ? "new\r\n" : "old contents\r\n")
        << c.attributes;
    EXPECT_EQ(AttributesOf(plain) & ~platform::kAttrNormal,
              c.replaced ? platform::kAttrHidden : c.attributes);
    platform::SetAttributes(plain, platform::kAttrNormal);
    std::uint32_t error = 0;
    platform::RemoveFile(plain, &error);
  }
}

TEST_F(DecryptProtectedFileTest, MalformedLineRaisesAndWritesNothing) {
  const std::string good = Protect(Header("k"), {"a", "b"});
  for (std::size_t bad : {2u, 7u}) {
    TextList lines;
    lines.SetText(good);
    std::string& line = lines[bad - 1];  // line 2 is empty, line 7 is not
    if (line.empty())
      line = "+";
    else
      line[2] = '+';
    const std::string name = dir_.Write("bad.ci.Veilbox", lines.Text());
    try {
      DecryptProtectedFile(name);
      ADD_FAILURE() << "no error for line " << bad;
    } catch (const ConvertError& e) {
      EXPECT_NE(std::string(e.what()).find("+"), std::string::npos) << e.what();
    }
    EXPECT_EQ(LastStatus, kSuccessText);
    EXPECT_FALSE(Exists(PlainName(name)));
  }
}

TEST_F(DecryptProtectedFileTest, UnreadableFileRaisesAndSetsStatus) {
  const std::string missing = (dir_.path() / "missing.ci.Veilbox").string();
  bool wrote = true;
  try {
    DecryptProtectedFile(missing, &wrote);
    ADD_FAILURE() << "no error";
  } catch (const ProtectedFileReadError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file: it no longer exists");
  }
  EXPECT_EQ(LastStatus, "Cannot Open File " + missing);
  EXPECT_FALSE(wrote);
  EXPECT_THROW(DecryptProtectedFileNoStatus(missing), ProtectedFileReadError);
}

TEST_F(DecryptProtectedFileTest, FileHeldByAnotherProgramIsTriedAgain) {
  const std::string held = dir_.Write("held.ci.Veilbox", Protect(Header("k"), {"a"}));
  const std::string bytes = veilbox::testing::ReadFileBytes(held);
  auto other = std::make_unique<platform::File>();
  std::uint32_t error = 0;
  ASSERT_TRUE(
      platform::File::OpenExisting(held, false, platform::Share::kReadWrite, other.get(), &error));
  // It is read without sharing: refused while the other opener holds it,
  // read once that one lets go (here, during the second pause).
  int pauses = 0;
  const auto pause = [&](std::chrono::milliseconds) {
    if (++pauses == 2) other.reset();
  };
  EXPECT_EQ(ReadProtectedFile(held, RetryPolicy{5, {}}, pause), bytes);
  EXPECT_EQ(pauses, 2);

  other = std::make_unique<platform::File>();
  ASSERT_TRUE(
      platform::File::OpenExisting(held, false, platform::Share::kReadWrite, other.get(), &error));
  pauses = 0;
  try {
    ReadProtectedFile(held, RetryPolicy{3, {}}, [&](std::chrono::milliseconds) { ++pauses; });
    ADD_FAILURE() << "no error";
  } catch (const ProtectedFileReadError& e) {
    EXPECT_EQ(e.code(), platform::kErrorSharingViolation);
    EXPECT_EQ(std::string(e.what()), "Cannot open file: another program holds it open");
  }
  EXPECT_EQ(pauses, 2);
}

TEST_F(DecryptProtectedFileTest, PlainFileThatCannotBeCreatedRaises) {
  const std::string name = dir_.Write("taken.ci.Veilbox", Protect(Header("k"), {"a"}));
  std::filesystem::create_directory(PlainName(name));
  try {
    DecryptProtectedFile(name);
    ADD_FAILURE() << "no error";
  } catch (const FileCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + PlainName(name));
  }
  EXPECT_EQ(LastStatus, kSuccessText);
}

}  // namespace
}  // namespace veilbox
