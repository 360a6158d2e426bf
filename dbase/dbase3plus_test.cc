#include "dbase/dbase3plus.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "sysutil/errors.h"
#include "testing/dbf_writer.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

using testing::ReadFileBytes;
using testing::ScratchDir;

using FieldDef = testing::DbfField;
using TableBuilder = testing::DbfBuilder;

TableBuilder NamePath() {
  TableBuilder t;
  t.fields = {{"NAME", 8}, {"PATH", 12}};
  return t;
}

std::string Value(const TDBase3Plus& table, const std::string& name,
                  const std::string& before = "<unset>") {
  std::string value = before;
  table.FieldValue(name, &value);
  return value;
}

class TableTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& bytes, const std::string& name = "t.dbf") {
    return dir_.Write(name, bytes);
  }
  void OpenBytes(TDBase3Plus& table, const std::string& bytes) {
    table.SetFileName(Write(bytes));
    table.Open();
  }
  ScratchDir dir_;
};

TEST_F(TableTest, FieldNamesMatchIgnoringCaseUpToTheFirstNul) {
  TableBuilder t;
  t.fields = {{"NAME", 3}, {"path", 3}, {"Dup", 3}, {"DUP", 3}, {"ELEVENCHARS", 3}};
  t.Add(' ', {"n", "p", "d1", "d2", "e"});
  TDBase3Plus table;
  OpenBytes(table, t.Bytes());
  struct Case {
    const char* name;
    const char* want;
  } cases[] = {
      {"name", "n"},        {"Name", "n"},   {"NAME", "n"},
      {"PATH", "p"},        {"dup", "d1"},   {"elevenchars", "e"},
      {"name ", "<unset>"},  // no trimming of the requested name
      {"NAM", "<unset>"},   {"", "<unset>"}, {"ELEVENCHARSX", "<unset>"},
  };
  for (const Case& c : cases) EXPECT_EQ(Value(table, c.name), c.want) << c.name;
  EXPECT_EQ(table.FieldName(2), "path");
}

TEST_F(TableTest, BlankPaddedNamesAreFoundOnlyWithTheirBlanks) {
  TableBuilder t;
  t.fields = {{"CODE", 4}};
  t.pad = ' ';
  t.Add(' ', {"x"});
  TDBase3Plus table;
  OpenBytes(table, t.Bytes());
  EXPECT_EQ(Value(table, "CODE"), "<unset>");
  EXPECT_EQ(Value(table, "code       "), "x");
}

TEST_F(TableTest, OnlyTrailingBlanksAreTrimmed) {
  TableBuilder t;
  t.fields = {{"A", 10}, {"B", 10}, {"C", 5}, {"D", 5}, {"E", 5}, {"Z", 0}};
  t.Add(' ', {"ABC", "", "   42", std::string("A\0B", 3), "  x"});
  TDBase3Plus table;
  OpenBytes(table, t.Bytes());
  EXPECT_EQ(Value(table, "A"), "ABC");
  EXPECT_EQ(Value(table, "B"), "");
  EXPECT_EQ(Value(table, "C"), "   42");
  EXPECT_EQ(Value(table, "D"), std::string("A\0B", 3));
  EXPECT_EQ(Value(table, "E"), "  x");
  EXPECT_EQ(Value(table, "Z"), "");
}

TEST_F(TableTest, EveryFlagButABlankMeansDeleted) {
  const struct {
    char flag;
    bool deleted;
  } cases[] = {{' ', false}, {'*', true}, {'\0', true}, {'\x1A', true}, {'x', true}};
  TableBuilder t = NamePath();
  for (const auto& c : cases) t.Add(c.flag, {"r"});
  TDBase3Plus table;
  OpenBytes(table, t.Bytes());
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    table.GoToRecord(static_cast<int32_t>(i));
    EXPECT_EQ(table.Deleted(), cases[i].deleted) << i;
  }
}

TEST_F(TableTest, ScanVisitsEveryRecordAndStaysOnTheLast) {
  for (bool eof_byte : {true, false}) {
    SCOPED_TRACE(eof_byte);
    TableBuilder t = NamePath();
    t.eof_byte = eof_byte;
    t.Add(' ', {"ZERO", "p0"}).Add('*', {"ONE", "p1"}).Add(' ', {"TWO", "p2"});
    TDBase3Plus table;
    OpenBytes(table, t.Bytes());
    EXPECT_EQ(Value(table, "name"), "ZERO");
    EXPECT_FALSE(table.Eof());

    std::vector<std::string> seen;
    for (table.First(); !table.Eof(); table.Next())
      seen.push_back(Value(table, "name") + (table.Deleted() ? "*" : ""));
    EXPECT_EQ(seen, (std::vector<std::string>{"ZERO", "ONE*", "TWO"}));
    EXPECT_EQ(table.RecNo(), 2);
    EXPECT_EQ(Value(table, "path"), "p2");

    // A second scan reads the records again but Eof stays set.
    table.First();
    EXPECT_TRUE(table.Eof());
    EXPECT_EQ(table.RecNo(), 0);
    EXPECT_EQ(Value(table, "name"), "ZERO");
  }
}

TEST_F(TableTest, TheHeaderLengthLocatesRecordZero) {
  TableBuilder t = NamePath();
  t.gap = std::string(" NOTAREC  ") + '\x0D';
  t.Add(' ', {"FIRST"}).Add(' ', {"SECOND"});
  TDBase3Plus table;
  OpenBytes(table, t.Bytes());
  EXPECT_EQ(Value(table, "name"), "FIRST");
  table.Next();
  EXPECT_EQ(Value(table, "name"), "SECOND");
}

TEST_F(TableTest, AWholeRecordAfterTheCountIsReadAsOneMore) {
  TableBuilder t = NamePath();
  t.Add(' ', {"A"}).Add(' ', {"B"});
  t.count = 1;
  TDBase3Plus table;
  OpenBytes(table, t.Bytes());
  std::vector<std::string> seen;
  for (table.First(); !table.Eof(); table.Next()) seen.push_back(Value(table, "name"));
  EXPECT_EQ(seen, (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(table.RecNo(), 1);
}

TEST_F(TableTest, AShortReadGoesBackToTheLastWholeRecord) {
  const struct {
    const char* what;
    int64_t count;
    int32_t go_to;
    std::string tail;
  } cases[] = {
      {"scan past the missing records", 5, -1, ""},
      {"jump to a missing record", 5, 4, "half"},
      {"count near the 32-bit limit", 2147483647, 2000000000, ""},
      {"count as large as it gets", 2147483647, 2147483647, "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TableBuilder t = NamePath();
    t.Add(' ', {"A"}).Add(' ', {"B"}).Add(' ', {"C"});
    t.count = c.count;
    t.tail = c.tail;
    TDBase3Plus table;
    OpenBytes(table, t.Bytes());
    if (c.go_to < 0) {
      for (table.First(); !table.Eof();) table.Next();
    } else {
      table.GoToRecord(c.go_to);
    }
    EXPECT_TRUE(table.Eof());
    EXPECT_EQ(table.RecNo(), 2);
    EXPECT_EQ(Value(table, "name"), "C");
  }
}

TEST_F(TableTest, ATableWithoutAWholeRecordKeepsItsValues) {
  TableBuilder t = NamePath();
  t.count = 3;
  t.tail = "short";
  TDBase3Plus table;
  OpenBytes(table, t.Bytes());
  EXPECT_TRUE(table.Eof());  // Open already tried record 0
  EXPECT_EQ(table.RecNo(), 0);
  EXPECT_EQ(Value(table, "name"), "");
  EXPECT_FALSE(table.Deleted());
}

TEST_F(TableTest, EmptyTable) {
  TableBuilder t = NamePath();
  TDBase3Plus table;
  OpenBytes(table, t.Bytes());
  EXPECT_FALSE(table.Eof());
  table.First();
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(Value(table, "name"), "");
  EXPECT_FALSE(table.Deleted());
  EXPECT_EQ(table.RecNo(), 0);
}

TEST_F(TableTest, NumbersOutsideTheTableChangeNothingButEof) {
  TableBuilder t = NamePath();
  t.Add(' ', {"A"}).Add('*', {"B"}).Add(' ', {"C"});
  for (int32_t n : {4, 1000, -1, INT32_MIN}) {
    TDBase3Plus table;
    OpenBytes(table, t.Bytes());
    table.GoToRecord(1);
    table.GoToRecord(n);
    EXPECT_TRUE(table.Eof()) << n;
    EXPECT_EQ(table.RecNo(), 1) << n;
    EXPECT_EQ(Value(table, "name"), "B") << n;
    EXPECT_TRUE(table.Deleted()) << n;
  }
}

TEST_F(TableTest, NoFieldsReadsTheFlagAlone) {
  TableBuilder t;
  t.records = {"*", " "};
  t.eof_byte = false;  // with one-byte records a 0x1A would be one more
  TDBase3Plus table;
  OpenBytes(table, t.Bytes());
  EXPECT_EQ(table.FieldCount(), 0);
  EXPECT_TRUE(table.Deleted());
  EXPECT_EQ(Value(table, ""), "<unset>");
  table.Next();
  EXPECT_FALSE(table.Deleted());
  table.Next();
  EXPECT_TRUE(table.Eof());
}

TEST_F(TableTest, AHeaderAloneOpensWithoutFields) {
  TableBuilder t;
  std::string bytes = t.Header();
  TDBase3Plus table;
  OpenBytes(table, bytes);
  EXPECT_EQ(table.FieldCount(), 0);
}

TEST_F(TableTest, FieldsBeyondSixteenAreIgnored) {
  TableBuilder t;
  std::vector<std::string> values;
  for (int i = 1; i <= 18; ++i) {
    std::string name = "F";
    name += std::to_string(i);  // (not "F" + ...: GCC 12 warns falsely)
    t.fields.push_back({name, 2});
    values.push_back(std::to_string(i));
  }
  t.Add(' ', values).Add(' ', {"a"});
  TDBase3Plus table;
  OpenBytes(table, t.Bytes());
  EXPECT_EQ(table.FieldCount(), 16);
  EXPECT_EQ(Value(table, "F16"), "16");
  EXPECT_EQ(Value(table, "F17"), "<unset>");
  table.Next();
  EXPECT_EQ(Value(table, "F1"), "a");
  EXPECT_EQ(Value(table, "F16"), "");
}

TEST_F(TableTest, FieldsAreCutAtAShortRecordLength) {
  TableBuilder t;
  t.fields = {{"A", 5}, {"B", 5}, {"C", 5}};
  t.record_length = 9;  // flag, A, three bytes of B
  t.records = {" AAAAABBB", " aaaaabbb"};
  TDBase3Plus table;
  const std::string path = Write(t.Bytes());
  table.SetFileName(path);
  table.Open();
  EXPECT_EQ(Value(table, "A"), "AAAAA");
  EXPECT_EQ(Value(table, "B"), "BBB");
  EXPECT_EQ(Value(table, "C"), "");
  table.Next();
  EXPECT_EQ(Value(table, "B"), "bbb");
  // Writing stays inside the record.
  EXPECT_TRUE(table.WriteRecord(0));
  t.records[0] = t.records[1];
  EXPECT_EQ(ReadFileBytes(path), t.Bytes());
}

TEST_F(TableTest, RecordLengthZero) {
  TableBuilder t = NamePath();
  t.record_length = 0;
  t.count = 2;
  TDBase3Plus table;
  OpenBytes(table, t.Bytes());
  int visited = 0;
  for (table.First(); !table.Eof() && visited < 10; table.Next()) {
    ++visited;
    EXPECT_TRUE(table.Deleted());
    EXPECT_EQ(Value(table, "name"), "");
  }
  EXPECT_EQ(visited, 3);  // 0, 1 and the read one past the count
  EXPECT_TRUE(table.WriteRecord(1));
}

TEST_F(TableTest, AppendWritesTheCountAndABlankRecord) {
  for (bool eof_byte : {true, false}) {
    SCOPED_TRACE(eof_byte);
    TableBuilder t = NamePath();
    t.eof_byte = eof_byte;
    t.Add(' ', {"A", "a"}).Add('*', {"B", "b"}).Add(' ', {"C", "c"});
    const std::string path = Write(t.Bytes());
    TDBase3Plus table;
    table.SetFileName(path);
    table.Open();
    table.GoToRecord(1);
    ASSERT_TRUE(table.Append());
    EXPECT_EQ(table.RecNo(), 3);
    EXPECT_EQ(table.RecordCount(), 4);
    EXPECT_FALSE(table.Deleted());
    EXPECT_EQ(Value(table, "name"), "");

    t.Add(' ', {});
    t.eof_byte = false;
    EXPECT_EQ(ReadFileBytes(path), t.Bytes());

    // The appended record is part of the table now.
    std::vector<std::string> seen;
    for (table.First(); !table.Eof() && seen.size() < 10; table.Next())
      seen.push_back(Value(table, "name"));
    EXPECT_EQ(seen, (std::vector<std::string>{"A", "B", "C", ""}));
  }
}

TEST_F(TableTest, WriteRecordWritesTheValuesAsAPresentRecord) {
  TableBuilder t = NamePath();
  t.Add(' ', {"A", "a"}).Add('*', {"B", "b"}).Add(' ', {"C", "c"});
  const std::string path = Write(t.Bytes());
  TDBase3Plus table;
  table.SetFileName(path);
  table.Open();
  table.GoToRecord(1);
  ASSERT_TRUE(table.Deleted());
  ASSERT_TRUE(table.WriteRecord(1));
  ASSERT_TRUE(table.WriteRecord(5));  // past the count: the header stays

  // Record 1 gets a blank flag; record 5 lands after a gap that the file
  // system fills with zeros, and the 0x1A stays where it was.
  std::string want = t.Bytes();
  const std::size_t rl = t.RecordLength();
  want[t.Header().size() + t.Descriptors().size() + rl] = ' ';
  want += std::string(2 * rl - 1, '\0') + t.Row(' ', {"B", "b"});
  EXPECT_EQ(ReadFileBytes(path), want);

  table.GoToRecord(0);
  table.GoToRecord(1);
  EXPECT_FALSE(table.Deleted());
  EXPECT_EQ(Value(table, "path"), "b");
}

TEST_F(TableTest, WriteRecordCutsValuesToTheirFields) {
  // Values stay from the last split when another table is opened.
  TableBuilder wide;
  wide.fields = {{"X", 12}, {"Y", 12}};
  wide.Add(' ', {"ABCDEFGHIJKL", "yyyyyyyyyyyy"});
  TableBuilder narrow;
  narrow.fields = {{"X", 4}, {"Y", 3}};
  TDBase3Plus table;
  table.SetFileName(Write(wide.Bytes(), "wide.dbf"));
  table.Open();
  const std::string narrow_path = Write(narrow.Bytes(), "narrow.dbf");
  table.SetFileName(narrow_path);
  table.Open();
  ASSERT_TRUE(table.WriteRecord(0));
  narrow.eof_byte = false;
  EXPECT_EQ(ReadFileBytes(narrow_path), narrow.Bytes() + " ABCDyyy");
}

TEST_F(TableTest, OpenFailsOnFilesItCannotUse) {
  TableBuilder t = NamePath();
  t.Add(' ', {"A"});
  const std::string read_only = Write(t.Bytes(), "ro.dbf");
  ASSERT_TRUE(platform::SetAttributes(read_only, platform::kAttrReadOnly));
  const struct {
    const char* what;
    std::string path;
  } cases[] = {
      {"missing", (dir_.path() / "missing.dbf").string()},
      {"no name", ""},
      {"empty file", Write("", "empty.dbf")},
      {"31 bytes", Write(t.Bytes().substr(0, 31), "short.dbf")},
      {"read-only", read_only},
      {"directory", dir_.str()},
  };
  for (const auto& c : cases) {
    TDBase3Plus table;
    table.SetFileName(c.path);
    EXPECT_THROW(table.Open(), TableOpenError) << c.what;
    EXPECT_FALSE(table.IsOpen()) << c.what;
    table.First();  // safe on the closed table
  }
  platform::SetAttributes(read_only, platform::kAttrNormal);
}

TEST_F(TableTest, AClosedTableReadsAndWritesNothing) {
  TableBuilder t = NamePath();
  t.Add(' ', {"A"}).Add(' ', {"B"});
  const std::string path = Write(t.Bytes());
  TDBase3Plus table;
  table.First();
  EXPECT_TRUE(table.Eof());
  EXPECT_FALSE(table.WriteRecord(0));
  EXPECT_FALSE(table.Append());
  table.Close();

  TDBase3Plus other;
  other.SetFileName(path);
  other.Open();
  other.Close();
  other.Close();
  EXPECT_FALSE(other.Append());
  other.Next();
  EXPECT_EQ(Value(other, "name"), "A");  // the values of the last read stay
  EXPECT_EQ(ReadFileBytes(path), t.Bytes());
}

TEST_F(TableTest, OpenReopensUnderTheNewNameAndKeepsTheState) {
  TableBuilder a = NamePath();
  a.Add(' ', {"A"});
  TableBuilder b = NamePath();
  b.Add('*', {"B"}).Add(' ', {"B2"});
  TDBase3Plus table;
  OpenBytes(table, a.Bytes());
  table.Next();
  table.Next();
  ASSERT_TRUE(table.Eof());
  table.SetFileName(Write(b.Bytes(), "b.dbf"));
  EXPECT_EQ(Value(table, "name"), "A");  // still on the old file
  table.Open();
  EXPECT_TRUE(table.Eof());
  EXPECT_EQ(Value(table, "name"), "B");
  EXPECT_TRUE(table.Deleted());
}

// Counts the calls that the table makes through its own virtual operations.
class CountingTable : public TDBase3Plus {
 public:
  void Close() override {
    log += "C";
    TDBase3Plus::Close();
  }
  bool WriteRecord(int32_t n) override {
    log += 'W';
    log += std::to_string(n);
    return TDBase3Plus::WriteRecord(n);
  }
  void GoToRecord(int32_t n) override {
    log += 'G';
    log += std::to_string(n);
    TDBase3Plus::GoToRecord(n);
  }
  std::string log;
};

TEST_F(TableTest, InnerCallsGoThroughTheVirtualOperations) {
  TableBuilder t = NamePath();
  t.Add(' ', {"A"}).Add(' ', {"B"});
  t.count = 4;
  CountingTable table;
  OpenBytes(table, t.Bytes());
  table.First();
  table.Next();
  table.Next();  // short: back to record 1
  table.Append();
  table.Open();
  EXPECT_EQ(table.log, "G0G0G1G2G1W4G4CG0");
}

TEST_F(TableTest, ReadsSeeRecordsAddedToTheSharedFile) {
  TableBuilder t = NamePath();
  t.eof_byte = false;
  t.Add(' ', {"A"}).Add(' ', {"B"});
  const std::string path = Write(t.Bytes());
  TDBase3Plus table;
  table.SetFileName(path);
  table.Open();
  for (table.First(); !table.Eof();) table.Next();
  ASSERT_EQ(table.RecNo(), 1);
  {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << t.Row(' ', {"LATE"});
  }
  table.GoToRecord(2);
  EXPECT_EQ(table.RecNo(), 2);
  EXPECT_EQ(Value(table, "name"), "LATE");
}

TEST_F(TableTest, ATableLargerThanTheReadWindow) {
  TableBuilder t;
  t.fields = {{"N", 8}, {"FILL", 247}};
  t.eof_byte = false;
  const int kRecords = 70000;  // about 18 MB
  std::string bytes = t.Header();
  bytes.replace(4, 4, std::string("\x70\x11\x01\x00", 4));
  bytes += t.Descriptors();
  for (int i = 0; i < kRecords; ++i) bytes += t.Row(' ', {std::to_string(i), "f"});
  const std::string path = Write(bytes);
  TDBase3Plus table;
  table.SetFileName(path);
  table.Open();
  ASSERT_EQ(table.RecordCount(), kRecords);
  int expected = 0;
  bool in_order = true;
  for (table.First(); !table.Eof(); table.Next())
    in_order = in_order && Value(table, "n") == std::to_string(expected++);
  EXPECT_TRUE(in_order);
  EXPECT_EQ(expected, kRecords);
  table.GoToRecord(12345);
  EXPECT_EQ(Value(table, "n"), "12345");
  ASSERT_TRUE(table.Append());
  table.GoToRecord(0);
  table.GoToRecord(kRecords);
  EXPECT_EQ(table.RecNo(), kRecords);
  EXPECT_EQ(Value(table, "n"), "");
}

}  // namespace
}  // namespace veilbox
