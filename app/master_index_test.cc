#include "app/master_index.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "dbase/dbase3plus.h"
#include "sysutil/text_utils.h"
#include "testing/dbf_writer.h"
#include "testing/master_index_of.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

using Field = testing::DbfField;

// A dBase III Plus table: records are a flag byte and one value per field.
std::string Table(const std::vector<Field>& fields,
                  const std::vector<std::pair<char, std::vector<std::string>>>& records,
                  const std::string& tail = "") {
  testing::DbfBuilder table;
  table.fields = fields;
  for (const auto& [flag, values] : records) table.Add(flag, values);
  table.tail = tail;
  return table.Bytes();
}

// The lookup the index stands in for: the scan from the first record.
std::optional<std::string> ScanFromFirst(TDBase3Plus& master, const std::string& name) {
  master.First();
  while (!master.Eof()) {
    std::string value;
    master.FieldValue("name", &value);
    if (UpperAscii(value) == UpperAscii(name)) {
      std::string path;
      master.FieldValue("path", &path);
      return path;
    }
    master.Next();
  }
  return std::nullopt;
}

TEST(MasterIndex, GivesWhatTheScanFromTheFirstRecordGives) {
  // More records than the index holds at first, names repeated in
  // another case further on.
  std::vector<std::pair<char, std::vector<std::string>>> many;
  for (int i = 0; i < 3000; ++i)
    many.push_back(
        {i % 7 == 0 ? '*' : ' ', {"Proj" + std::to_string(i), "C:\\P" + std::to_string(i)}});
  for (int i = 0; i < 3000; i += 100)
    many.push_back({' ', {"PROJ" + std::to_string(i), "C:\\LATE" + std::to_string(i)}});
  const std::string extra_record = " Tail    " + std::string("C:\\T") + std::string(8, ' ');
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> names;
  } cases[] = {
      {"names differing in a-z case, repeats, deleted records, blanks",
       Table({{"NAME", 8}, {"PATH", 12}}, {{' ', {"Pumps", "C:\\P1"}},
                                           {'*', {"Old", "C:\\OLD"}},
                                           {' ', {"PUMPS", "C:\\P2"}},
                                           {' ', {" Lead", "C:\\L"}},
                                           {'\x1A', {"Mix\xe9", "C:\\M"}},
                                           {' ', {"", "C:\\E"}}}),
       {"pumps", "PUMPS", "Pumps", "old", "Lead", " lead", "MIX\xe9", "mix\xc9", "", "missing",
        "Pumps "}},
      {"field names in other case, fields in other order",
       Table({{"path", 6}, {"Name", 5}}, {{' ', {"C:\\A", "a"}}, {' ', {"C:\\B", "b"}}}),
       {"A", "b", "c"}},
      {"thousands of records",
       Table({{"NAME", 10}, {"PATH", 10}}, many),
       {"proj2999", "PROJ0", "Proj1500", "proj7", "proj3000", "Proj", "PROJ2800"}},
      {"no path field", Table({{"NAME", 5}}, {{' ', {"x"}}}), {"X", "y"}},
      {"no name field: every lookup stops at the first record",
       Table({{"PATH", 6}}, {{' ', {"C:\\1"}}, {' ', {"C:\\2"}}}),
       {"", "any"}},
      {"no records", Table({{"NAME", 5}, {"PATH", 5}}, {}), {"", "x"}},
      {"bytes of one more record after the counted ones",
       Table({{"NAME", 8}, {"PATH", 12}}, {{' ', {"Head", "C:\\H"}}}, extra_record),
       {"tail", "head"}},
      {"the count says more records than the file holds, the last one cut short",
       [] {
         std::string bytes =
             Table({{"NAME", 6}, {"PATH", 6}},
                   {{' ', {"a", "C:\\A"}}, {' ', {"b", "C:\\B"}}, {' ', {"c", "C:\\C"}}});
         bytes.resize(bytes.size() - 5);
         bytes[4] = 9;
         return bytes;
       }(),
       {"a", "b", "c", "d"}},
      {"a record length of 0: every record is empty and deleted",
       [] {
         std::string bytes = Table({{"NAME", 6}, {"PATH", 6}}, {{' ', {"a", "C:\\A"}}});
         bytes[10] = 0;
         bytes[11] = 0;
         return bytes;
       }(),
       {"a", ""}},
      {"a record count past 2^31",
       [] {
         std::string bytes = Table({{"NAME", 6}, {"PATH", 6}}, {{' ', {"a", "C:\\A"}}});
         bytes[7] = '\x80';
         return bytes;
       }(),
       {"a", "b"}},
  };
  for (const Case& c : cases) {
    testing::ScratchDir dir;
    const std::string file = dir.Write("master.dbf", c.bytes);
    // The table is read only as far as the lookups need, so the answers
    // must not depend on the order of the lookups: forwards, backwards,
    // and each name twice.
    const std::vector<std::string> backwards(c.names.rbegin(), c.names.rend());
    const std::vector<std::string> twice = [&] {
      std::vector<std::string> names;
      for (const std::string& name : c.names) names.insert(names.end(), {name, name});
      return names;
    }();
    for (const std::vector<std::string>* order : {&c.names, &backwards, &twice}) {
      MasterIndex index = testing::MasterIndexOf(file);
      for (const std::string& name : *order) {
        TDBase3Plus scanned;  // a fresh component per lookup: Eof never clears
        scanned.SetFileName(file);
        scanned.Open();
        const std::optional<std::string> expected = ScanFromFirst(scanned, name);
        const std::string* found = index.Find(name);
        ASSERT_EQ(found != nullptr, expected.has_value()) << c.what << ": " << name;
        if (found) {
          EXPECT_EQ(*found, *expected) << c.what << ": " << name;
        }
      }
    }
  }
}

// A big table read on two workers, with more lookups than are made one
// by one through the hashes of the records passed: every answer is the
// first record of the name, whichever way the index found it.
TEST(MasterIndex, ManyLookupsInABigTableOnTwoWorkers) {
  std::vector<std::pair<char, std::vector<std::string>>> records;
  for (int i = 0; i < 40000; ++i)
    records.push_back({' ', {"Unit" + std::to_string(i), "C:\\U" + std::to_string(i)}});
  for (int i = 0; i < 40000; i += 97)
    records.push_back({' ', {"UNIT" + std::to_string(i), "C:\\AGAIN" + std::to_string(i)}});
  records.push_back({' ', {"Last", "C:\\LAST"}});
  testing::ScratchDir dir;
  const std::string file = dir.Write("master.dbf", Table({{"NAME", 12}, {"PATH", 12}}, records));

  // The first path of each name, upper-cased, as the scan finds it.
  std::map<std::string, std::string> first;
  for (const auto& [flag, values] : records) first.try_emplace(UpperAscii(values[0]), values[1]);

  std::vector<std::string> names = {"Last",  "unit39999",     "missing",
                                    "UNIT7", "unit123456789", "unit5 "};
  std::mt19937 random(7);
  for (int i = 0; i < 400; ++i) names.push_back("unit" + std::to_string(random() % 41000));
  MasterIndex index = testing::MasterIndexOf(file, 2);
  for (const std::string& name : names) {
    const auto expected = first.find(UpperAscii(name));
    const std::string* found = index.Find(name);
    ASSERT_EQ(found != nullptr, expected != first.end()) << name;
    if (found) {
      EXPECT_EQ(*found, expected->second) << name;
    }
  }
}

TEST(MasterIndex, FindsRecordsAddedAfterItWasLoaded) {
  testing::ScratchDir dir;
  const std::vector<Field> fields = {{"NAME", 8}, {"PATH", 8}};
  const std::string one = Table(fields, {{' ', {"First", "C:\\F"}}});
  const std::string two = Table(fields, {{' ', {"First", "C:\\F"}}, {' ', {"Added", "C:\\ADD"}}});
  const std::string file = dir.Write("master.dbf", one);
  MasterIndex index = testing::MasterIndexOf(file);
  ASSERT_NE(index.Find("first"), nullptr);

  // Another program adds a record in place: the count and the record.
  {
    std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
    out.write(two.data(), static_cast<std::streamsize>(two.size()));
  }
  const std::string* added = index.Find("ADDED");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(*added, "C:\\ADD");
}

}  // namespace
}  // namespace veilbox
