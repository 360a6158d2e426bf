// Writes a dBase III Plus table of character fields, for laying out sample
// Citect installations:
//
//   write-dbf FILE NAME:LENGTH[,NAME:LENGTH...] [RECORD...]
//
// Each RECORD holds the field values separated by "|"; a leading "*"
// marks the record deleted. Example:
//
//   write-dbf master.dbf NAME:64,PATH:240 "Plant|C:\Citect\Plant" "*Old|C:\Old"
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "testing/dbf_writer.h"

namespace {

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (c == sep) {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: write-dbf FILE NAME:LENGTH[,NAME:LENGTH...] [RECORD...]\n");
    return 2;
  }
  std::vector<veilbox::testing::DbfField> fields;
  for (const std::string& field_text : Split(argv[2], ',')) {
    const std::vector<std::string> parts = Split(field_text, ':');
    const int length = parts.size() == 2 ? std::atoi(parts[1].c_str()) : 0;
    if (parts[0].empty() || length < 1 || length > 255) {
      std::fprintf(stderr, "write-dbf: bad field \"%s\"\n", field_text.c_str());
      return 2;
    }
    fields.push_back({parts[0], length});
  }
  std::vector<veilbox::testing::DbfRecord> records;
  for (int i = 3; i < argc; ++i) {
    std::string text = argv[i];
    const bool deleted = !text.empty() && text[0] == '*';
    if (deleted) text.erase(0, 1);
    records.push_back({Split(text, '|'), deleted});
  }
  std::ofstream out(veilbox::platform::NativePath(argv[1]), std::ios::binary | std::ios::trunc);
  out << veilbox::testing::MakeDbf(fields, records);
  return out ? 0 : 1;
}
