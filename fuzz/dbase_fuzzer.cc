// Opens any bytes as a table, scans it, looks fields up and writes into it,
// checking that a record write touches nothing outside its record.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/master_index.h"
#include "dbase/dbase3plus.h"
#include "sysutil/errors.h"
#include "sysutil/text_utils.h"

namespace {

// In memory where the system offers it: the disk would set the pace.
std::string TempPath() {
  static const std::string path = [] {
    std::filesystem::path dir = "/dev/shm";
    if (!std::filesystem::is_directory(dir)) dir = std::filesystem::temp_directory_path();
    return (dir / ("veilbox-dbase-fuzz-" + std::to_string(getpid()))).string();
  }();
  return path;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t Le(const uint8_t* p, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = TempPath();
  WriteFile(path, data, size);
  veilbox::TDBase3Plus table;
  table.SetFileName(path);
  try {
    table.Open();
  } catch (const veilbox::TableOpenError&) {
    if (size >= 32) std::abort();  // a readable header must open
    return 0;
  }
  if (size < 32) std::abort();

  std::string value;
  for (int j = 0; j <= table.FieldCount() + 1; ++j) table.FieldValue(table.FieldName(j), &value);
  table.FieldValue("name", &value);
  int steps = 0;
  for (table.First(); !table.Eof() && steps < 2000; table.Next(), ++steps) {
    table.FieldValue(table.FieldName(1), &value);
    table.FieldValue(table.FieldName(table.FieldCount()), &value);
  }
  // The master index, which reads the table straight from the file in
  // blocks and compares names by a hash of the padded field, gives what a
  // scan from the first record gives (a name ending in a blank included).
  {
    auto indexed = std::make_unique<veilbox::TDBase3Plus>();
    indexed->SetFileName(path);
    indexed->Open();
    veilbox::MasterIndex index;
    index.Load(std::move(indexed));
    std::vector<std::string> names = {"", "a", "a "};
    steps = 0;
    for (table.First(); !table.Eof() && steps < 8; table.Next(), ++steps) {
      table.FieldValue("name", &value);
      names.push_back(value);
    }
    for (const std::string& name : names) {
      veilbox::TDBase3Plus scanned;
      scanned.SetFileName(path);
      scanned.Open();
      std::optional<std::string> expected;
      steps = 0;
      for (scanned.First(); !scanned.Eof() && steps < 100000; scanned.Next(), ++steps) {
        std::string candidate;
        scanned.FieldValue("name", &candidate);
        if (veilbox::UpperAscii(candidate) == veilbox::UpperAscii(name)) {
          expected.emplace();
          scanned.FieldValue("path", &*expected);
          break;
        }
      }
      if (steps == 100000) continue;  // a header that counts too many to compare
      const std::string* found = index.Find(name);
      if ((found != nullptr) != expected.has_value()) std::abort();
      if (found && *found != *expected) std::abort();
    }
  }

  const uint32_t count = Le(data + 4, 4);
  for (uint32_t n : {count, count - 1, count + 1, 0xFFFFFFFFu, 1u, 0x7FFFFFFFu})
    table.GoToRecord(static_cast<int32_t>(n));

  // A record write changes nothing outside its record.
  const uint64_t header_length = Le(data + 8, 2);
  const uint64_t record_length = Le(data + 10, 2);
  const int32_t target = size > 32 ? data[32] % 4 : 0;
  const std::string before = ReadFile(path);
  if (table.WriteRecord(target)) {
    const std::string after = ReadFile(path);
    const uint64_t start = header_length + static_cast<uint64_t>(target) * record_length;
    const uint64_t end = start + record_length;
    if (after.size() < std::min<uint64_t>(before.size(), end)) std::abort();
    for (uint64_t i = 0; i < after.size(); ++i) {
      if (i >= start && i < end) continue;
      const char expected = i < before.size() ? before[i] : '\0';
      if (after[i] != expected) std::abort();
    }
    if (after.size() > std::max<uint64_t>(before.size(), end)) std::abort();
  }
  // Appending to a header that counts billions of records would only make a
  // huge sparse file.
  if (header_length + static_cast<uint64_t>(count) * record_length < (uint64_t{1} << 20)) {
    table.Append();
    table.Next();
  }
  table.Close();
  table.First();
  std::filesystem::remove(path);
  return 0;
}
