// Writes and reads dBase tables with shapelib, and reads them with
// TDBase3Plus, so that the differential test can hold the two readers (and
// the Python ones) side by side.
//
//   dbase-peer write-shapelib FILE        a table with deleted records
//   dbase-peer dump-veilbox FILE NAME...  the records as TDBase3Plus reads them
//   dbase-peer dump-shapelib FILE         the records as shapelib reads them
//
// A dump prints the field names on its first line, then one line per record:
// '*' for a deleted record or ' ', then '|' and each value in hex.
#include <shapefil.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dbase/dbase3plus.h"
#include "sysutil/errors.h"

namespace {

std::string Hex(const std::string& value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : value) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

void PrintRecord(bool deleted, const std::vector<std::string>& values) {
  std::string line(1, deleted ? '*' : ' ');
  for (const std::string& v : values) {
    line += '|';
    line += Hex(v);
  }
  std::printf("%s\n", line.c_str());
}

int WriteShapelib(const char* path) {
  DBFHandle dbf = DBFCreate(path);
  if (!dbf) return 2;
  DBFAddField(dbf, "NAME", FTString, 16, 0);
  DBFAddField(dbf, "path", FTString, 64, 0);
  DBFAddField(dbf, "Level", FTInteger, 5, 0);
  DBFAddField(dbf, "C", FTString, 1, 0);
  const char* names[] = {"Plant", "example", "INCLUDE_ALL", "x", "", "sixteen_chars_ab"};
  for (int i = 0; i < 200; ++i) {
    std::string name = names[i % 6];
    if (i % 7 == 3) {
      name = "  lead";
      name += std::to_string(i);
    }
    std::string path = "C:\\Citect\\User\\";
    path += name;
    path += std::to_string(i * 37 % 1000);
    if (i % 11 == 5) path.assign(64, 'p');
    if (i % 13 == 6) path += "\xE9\xFC";
    DBFWriteStringAttribute(dbf, i, 0, name.c_str());
    DBFWriteStringAttribute(dbf, i, 1, path.c_str());
    if (i % 5 != 4) DBFWriteIntegerAttribute(dbf, i, 2, i * 13 % 3001);
    DBFWriteStringAttribute(dbf, i, 3, i % 2 ? "y" : " ");
    if (i % 4 == 1 || i % 9 == 0) DBFMarkRecordDeleted(dbf, i, 1);
  }
  DBFClose(dbf);
  return 0;
}

int DumpShapelib(const char* path) {
  DBFHandle dbf = DBFOpen(path, "rb");
  if (!dbf) return 2;
  const int fields = DBFGetFieldCount(dbf);
  std::string header;
  for (int j = 0; j < fields; ++j) {
    char name[12] = {};
    DBFGetFieldInfo(dbf, j, name, nullptr, nullptr);
    if (j) header += ' ';
    header += name;
  }
  std::printf("%s\n", header.c_str());
  const int records = DBFGetRecordCount(dbf);
  for (int i = 0; i < records; ++i) {
    std::vector<std::string> values;
    for (int j = 0; j < fields; ++j) values.emplace_back(DBFReadStringAttribute(dbf, i, j));
    PrintRecord(DBFIsRecordDeleted(dbf, i) != 0, values);
  }
  DBFClose(dbf);
  return 0;
}

int DumpVeilbox(const char* path, int count, char** names) {
  veilbox::TDBase3Plus table;
  table.SetFileName(path);
  try {
    table.Open();
  } catch (const veilbox::TableOpenError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 2;
  }
  std::string header;
  for (int j = 0; j < count; ++j) {
    if (j) header += ' ';
    header += names[j];
  }
  std::printf("%s\n", header.c_str());
  for (table.First(); !table.Eof(); table.Next()) {
    std::vector<std::string> values;
    for (int j = 0; j < count; ++j) {
      values.emplace_back("<missing>");
      table.FieldValue(names[j], &values.back());
    }
    PrintRecord(table.Deleted(), values);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "write-shapelib") == 0) return WriteShapelib(argv[2]);
  if (argc >= 3 && std::strcmp(argv[1], "dump-shapelib") == 0) return DumpShapelib(argv[2]);
  if (argc >= 3 && std::strcmp(argv[1], "dump-veilbox") == 0)
    return DumpVeilbox(argv[2], argc - 3, argv + 3);
  std::fprintf(stderr, "usage: dbase-peer write-shapelib|dump-shapelib|dump-veilbox FILE ...\n");
  return 2;
}
