// Writes small dBase III Plus tables of character fields, as Citect's
// master.dbf and Include.dbf are laid out, for tests and the demo.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veilbox::testing {

struct DbfField {
  std::string name;  // up to 10 characters
  int length;        // 1 to 255
};

struct DbfRecord {
  std::vector<std::string> values;  // one per field, cut or blank-padded
  bool deleted = false;
};

// The bytes of a table with these fields and records: header, field
// descriptors, terminator, records and the end-of-file byte.
inline std::string MakeDbf(const std::vector<DbfField>& fields,
                           const std::vector<DbfRecord>& records) {
  int record_length = 1;
  for (const DbfField& f : fields) record_length += f.length;
  const int header_length = 32 + 32 * static_cast<int>(fields.size()) + 1;
  std::string out(32, '\0');
  out[0] = 0x03;
  out[1] = 125;  // 2025-01-01
  out[2] = 1;
  out[3] = 1;
  const auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  const auto put16 = [&](std::size_t at, std::uint32_t v) {
    out[at] = static_cast<char>(v & 0xFF);
    out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  };
  put32(4, static_cast<std::uint32_t>(records.size()));
  put16(8, static_cast<std::uint32_t>(header_length));
  put16(10, static_cast<std::uint32_t>(record_length));
  for (const DbfField& f : fields) {
    std::string d(32, '\0');
    d.replace(0, f.name.size() < 10 ? f.name.size() : 10, f.name.substr(0, 10));
    d[11] = 'C';
    d[16] = static_cast<char>(f.length);
    out += d;
  }
  out += '\x0D';
  for (const DbfRecord& r : records) {
    out += r.deleted ? '*' : ' ';
    for (std::size_t i = 0; i < fields.size(); ++i) {
      std::string v = i < r.values.size() ? r.values[i] : std::string();
      v.resize(static_cast<std::size_t>(fields[i].length), ' ');
      out += v;
    }
  }
  out += '\x1A';
  return out;
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
