#include "app/run_journal.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace veilbox {
namespace {

// The journal's closing line for a body, computed independently so that
// bodies with a valid checksum but a bad structure can be made.
std::string Seal(const std::string& body) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : body) hash = (hash ^ c) * 0x100000001b3ull;
  char end[32];
  std::snprintf(end, sizeof end, "end %016llX\n", static_cast<unsigned long long>(hash));
  return body + end;
}

void ExpectSame(const RunJournalRecord& a, const RunJournalRecord& b) {
  EXPECT_EQ(a.writer.pid, b.writer.pid);
  EXPECT_EQ(a.writer.start_time, b.writer.start_time);
  EXPECT_EQ(a.plain_files, b.plain_files);
  EXPECT_EQ(a.ok_message_suppressed, b.ok_message_suppressed);
  EXPECT_EQ(a.settings_file, b.settings_file);
}

TEST(RunJournalFormatTest, RoundTripsAnyNames) {
  RunJournalRecord plain_only;
  plain_only.writer = {4242, 1234567890123ull};
  plain_only.plain_files = {{"C:\\PROJ\\A.CI", PlainFileKind::kNew},
                            {"C:\\MY PROJ\\100%.CI", PlainFileKind::kLeftover},
                            {"C:\\P\\Mine.ci", PlainFileKind::kAside,
                             SetAsideName("C:\\P\\Mine.ci", 0x0123456789ABCDEFull),
                             platform::EntryStamp{{1, ~0ull}, 3, 4, 5}},
                            {"C:\\P\\Old.ci", PlainFileKind::kAside, "C:\\P\\Old.ci.~vbBEEF"},
                            {"C:\\P\\OLD.CI", PlainFileKind::kHiddenOnly},
                            {std::string("D:\\\x01\n\r\x7F\xE9.CI"), PlainFileKind::kNew}};
  plain_only.plain_files[0].plain_stamp = platform::EntryStamp{{0, 1}, 2, 3, 0};
  RunJournalRecord suppressed = plain_only;
  suppressed.ok_message_suppressed = true;
  suppressed.settings_file = "C:\\WINDOWS\\my%settings.ini";
  RunJournalRecord empty;
  empty.writer = {0xFFFFFFFFu, ~0ull};
  // One name recorded three times: each stamp comes back to its own entry.
  RunJournalRecord repeated;
  repeated.writer = {7, 8};
  repeated.plain_files = {{"C:\\P\\A.CI", PlainFileKind::kNew},
                          {"C:\\P\\A.CI", PlainFileKind::kLeftover},
                          {"C:\\P\\B.CI", PlainFileKind::kNew},
                          {"C:\\P\\A.CI", PlainFileKind::kNew}};
  repeated.plain_files[0].plain_stamp = platform::EntryStamp{{4, 3}, 2, 1, 0};
  repeated.plain_files[1].plain_stamp = platform::EntryStamp{{1, 2}, 3, 4, 5};
  repeated.plain_files[2].plain_stamp = platform::EntryStamp{{9, 9}, 9, 9, 9};
  repeated.plain_files[3].plain_stamp = platform::EntryStamp{{6, 7}, 8, 9, 10};
  for (const RunJournalRecord& record : {plain_only, suppressed, empty, repeated}) {
    std::string bytes = FormatRunJournal(record);
    RunJournalRecord back;
    std::string err;
    ASSERT_TRUE(ParseRunJournal(bytes, &back, &err)) << err << "\n" << bytes;
    ExpectSame(record, back);
  }
  // Names never break the line structure.
  std::string bytes = FormatRunJournal(plain_only);
  EXPECT_NE(bytes.find("\nnew D:\\%01%0A%0D%7F\xE9.CI\n"), std::string::npos) << bytes;
  EXPECT_NE(
      bytes.find("\nset-aside 0123456789ABCDEF 1:18446744073709551615:3:4:5 C:\\P\\Mine.ci\n"),
      std::string::npos)
      << bytes;
  EXPECT_NE(bytes.find("\nset-aside BEEF - C:\\P\\Old.ci\n"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("\nplain-file 0:1:2:3:0 C:\\PROJ\\A.CI\n"), std::string::npos) << bytes;
}

TEST(RunJournalFormatTest, EveryCutOrChangedByteIsRefused) {
  RunJournalRecord record;
  record.writer = {17, 99};
  record.plain_files = {{"C:\\P\\A.CI", PlainFileKind::kNew},
                        {"C:\\P\\B.CI", PlainFileKind::kAside, SetAsideName("C:\\P\\B.CI", 42),
                         platform::EntryStamp{{1, 2}, 3, 4, 5}, platform::EntryStamp{}}};
  record.ok_message_suppressed = true;
  record.settings_file = "Citect.ini";
  const std::string bytes = FormatRunJournal(record);
  RunJournalRecord back;
  std::string err;
  for (std::size_t n = 0; n < bytes.size(); ++n)
    EXPECT_FALSE(ParseRunJournal(bytes.substr(0, n), &back, &err)) << "cut at " << n;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string changed = bytes;
    changed[i] = static_cast<char>(changed[i] ^ 0x04);
    EXPECT_FALSE(ParseRunJournal(changed, &back, &err)) << "changed at " << i;
  }
  EXPECT_FALSE(ParseRunJournal(bytes + "plain X\n", &back, &err));
}

TEST(RunJournalFormatTest, WellSealedButMalformedBodiesAreRefused) {
  const std::string head = "Veilbox run journal 1\npid 5\nstart 0\n";
  const char* bodies[] = {
      "",
      "Veilbox run journal 4\npid 5\nstart 0\n",
      "Veilbox run journal 1\nstart 0\npid 5\n",
      "Veilbox run journal 1\npid 5\n",
      "Veilbox run journal 1\npid 05\nstart 0\n",
      "Veilbox run journal 1\npid -5\nstart 0\n",
      "Veilbox run journal 1\npid 4294967296\nstart 0\n",
      "Veilbox run journal 1\npid 5\nstart 18446744073709551616\n",
      "Veilbox run journal 1\npid 5 \nstart 0\n",
      "Veilbox run journal 1\r\npid 5\r\nstart 0\r\n",
  };
  const char* tails[] = {
      "plain \n",                                       // empty name
      "plain C:\\A%G1.CI\n",                            // bad escape
      "plain C:\\A%4\n",                                // cut escape
      "plain C:\\A\tB.CI\n",                            // raw control byte
      "plain C:\\A.CI\nok-message-suppressed x.ini\n",  // flag after the names
      "ok-message-suppressed a.ini\nok-message-suppressed b.ini\n",
      "ok-message-suppressed \n",
      "delete C:\\A.CI\n",  // unknown record
      "plain\n",
      "aside \n",
      "set-aside 0000 - \n",                    // empty name
      "set-aside 000 - C:\\A.CI\n",             // short suffix
      "set-aside 00000 - C:\\A.CI\n",           // neither 4 nor 16 digits
      "set-aside 000g - C:\\A.CI\n",            // not hex
      "set-aside 0000 1:2:3:4 C:\\A.CI\n",      // four numbers in the stamp
      "set-aside 0000 1:2:3:4:5:6 C:\\A.CI\n",  // six
      "set-aside 0000 1::3:4:5 C:\\A.CI\n",     // an empty one
      "set-aside 0000 C:\\A.CI\n",              // no stamp
      "plain-file 1:2:3:4:5 C:\\A.CI\n",        // names no plain file above
      "new C:\\A.CI\nplain-file - C:\\A.CI\n",  // no stamp
      "new C:\\A.CI\nplain-file 1:2:3:4:5 C:\\A.CI\nplain-file 1:2:3:4:5 C:\\A.CI\n",
  };
  RunJournalRecord back;
  std::string err;
  for (const char* body : bodies) EXPECT_FALSE(ParseRunJournal(Seal(body), &back, &err)) << body;
  for (const char* tail : tails)
    EXPECT_FALSE(ParseRunJournal(Seal(head + tail), &back, &err)) << tail;
  // The same frame with good records is read.
  ASSERT_TRUE(
      ParseRunJournal(Seal(head + "ok-message-suppressed a%25.ini\nplain C:\\A.CI\n"), &back, &err))
      << err;
  EXPECT_EQ(back.settings_file, "a%.ini");
  EXPECT_EQ(back.plain_files,
            (std::vector<PlainFileEntry>{{"C:\\A.CI", PlainFileKind::kHiddenOnly}}));
  // A journal of this version names what stood at each plain file's name.
  ASSERT_TRUE(ParseRunJournal(
      Seal("Veilbox run journal 2\npid 5\nstart 0\nnew C:\\N.CI\nleftover C:\\L.CI\n"
           "aside C:\\My Own.ci\n"),
      &back, &err))
      << err;
  EXPECT_EQ(back.plain_files,
            (std::vector<PlainFileEntry>{{"C:\\N.CI", PlainFileKind::kNew},
                                         {"C:\\L.CI", PlainFileKind::kLeftover},
                                         {"C:\\My Own.ci", PlainFileKind::kAside,
                                          LegacyAsideName("C:\\My Own.ci", {5, 0})}}));
}

// A set-aside name is 16 characters longer than the name now (64 random
// bits); earlier versions' names (4 digits, from the run's identity) are
// still known.
TEST(RunJournalFormatTest, SetAsideNames) {
  const std::string a = SetAsideName("C:\\P\\Main.ci", 0xABCull);
  EXPECT_EQ(a, "C:\\P\\Main.ci.~vb0000000000000ABC");
  EXPECT_NE(SetAsideName("x", RandomAsideSuffix()), SetAsideName("x", RandomAsideSuffix()));
  const std::string old = LegacyAsideName("C:\\P\\Main.ci", {10, 1});
  EXPECT_EQ(old.size(), std::string("C:\\P\\Main.ci.Veilbox").size());
  EXPECT_EQ(old.substr(0, 16), "C:\\P\\Main.ci.~vb");
  EXPECT_NE(old, LegacyAsideName("C:\\P\\Main.ci", {11, 1}));
}

}  // namespace
}  // namespace veilbox
