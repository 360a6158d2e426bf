// Writes dBase III Plus tables of character fields, as Citect's master.dbf
// and Include.dbf are laid out, for the tests, the fuzz seeds and the demo
// (through the write-dbf helper). DbfBuilder writes any table byte by byte,
// malformed ones included; MakeDbf a well-formed one from its records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veilbox::testing {

struct DbfField {
  std::string name;  // stored bytes, padded to 11 with the builder's `pad`
  int length;        // 1 to 255 in a well-formed table
};

// A table file, byte by byte. Every part that a reader checks can be set
// to a wrong value.
struct DbfBuilder {
  std::vector<DbfField> fields;
  std::vector<std::string> records;  // whole records, flag byte first
  int64_t count = -1;                // -1: the number of records
  int record_length = -1;            // -1: 1 + the field lengths
  bool eof_byte = true;
  char pad = '\0';
  std::string tail;                               // bytes after the records (before the 0x1A)
  std::string gap;                                // bytes between the terminator and record 0
  unsigned char year = 126, month = 5, day = 17;  // of the last update, year - 1900
  unsigned char reserved29 = 0x57;                // a reserved byte that must survive a rewrite

  int RecordLength() const {
    if (record_length >= 0) return record_length;
    int length = 1;
    for (const DbfField& f : fields) length += f.length;
    return length;
  }

  // A record from its flag and values, each cut or padded with blanks to
  // its field.
  std::string Row(char flag, const std::vector<std::string>& values) const {
    std::string row(1, flag);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      std::string v = i < values.size() ? values[i] : "";
      v.resize(static_cast<std::size_t>(fields[i].length), ' ');
      row += v;
    }
    row.resize(static_cast<std::size_t>(RecordLength()), ' ');
    return row;
  }
  DbfBuilder& Add(char flag, const std::vector<std::string>& values) {
    records.push_back(Row(flag, values));
    return *this;
  }

  std::string Header() const {
    std::string h(32, '\0');
    h[0] = 0x03;
    h[1] = static_cast<char>(year), h[2] = static_cast<char>(month), h[3] = static_cast<char>(day);
    const auto n = static_cast<uint32_t>(count >= 0 ? count : static_cast<int64_t>(records.size()));
    for (int i = 0; i < 4; ++i) h[4 + i] = static_cast<char>(n >> (8 * i));
    const int header_length =
        32 + 32 * static_cast<int>(fields.size()) + 1 + static_cast<int>(gap.size());
    h[8] = static_cast<char>(header_length & 0xFF), h[9] = static_cast<char>(header_length >> 8);
    const int rl = RecordLength();
    h[10] = static_cast<char>(rl & 0xFF), h[11] = static_cast<char>(rl >> 8);
    h[29] = static_cast<char>(reserved29);
    return h;
  }
  std::string Descriptors() const {
    std::string d;
    for (const DbfField& f : fields) {
      std::string one = f.name;
      one.resize(11, pad);
      one += 'C';
      one += std::string(4, '\0');
      one += static_cast<char>(f.length);
      one += std::string(15, '\0');
      d += one;
    }
    return d + '\x0D' + gap;
  }
  std::string Bytes() const {
    std::string b = Header() + Descriptors();
    for (const std::string& r : records) b += r;
    b += tail;
    if (eof_byte) b += '\x1A';
    return b;
  }
};

struct DbfRecord {
  std::vector<std::string> values;  // one per field, cut or blank-padded
  bool deleted = false;
};

// The bytes of a well-formed table with these fields (names cut to 10
// characters) and records.
inline std::string MakeDbf(const std::vector<DbfField>& fields,
                           const std::vector<DbfRecord>& records) {
  DbfBuilder table;
  for (const DbfField& f : fields) table.fields.push_back({f.name.substr(0, 10), f.length});
  table.year = 125, table.month = 1, table.day = 1;  // 2025-01-01
  table.reserved29 = 0;
  for (const DbfRecord& r : records) table.Add(r.deleted ? '*' : ' ', r.values);
  return table.Bytes();
}

// master.dbf: fields NAME and PATH.
inline std::string MakeMasterDbf(const std::vector<DbfRecord>& records) {
  return MakeDbf({{"NAME", 64}, {"PATH", 240}}, records);
}

// Include.dbf: field NAME.
inline std::string MakeIncludeDbf(const std::vector<DbfRecord>& records) {
  return MakeDbf({{"NAME", 64}}, records);
}

}  // namespace veilbox::testing
