// The master table's projects by name, for the project and include
// lookups of one compile run.
//
// Each lookup gives what a scan of master.dbf from its first record would
// give: the "path" of the first record in file order, deleted or not,
// whose "name" equals the name sought, both upper-cased (a to z only). The
// table is read through the same component and in the same way as that
// scan (First, then Next until Eof), once at most, and only as far as the
// lookups need: the project of the run is usually found after a few
// records. The records passed over on the way are indexed by a hash of the
// upper-cased name (a number per record, no text), so that a later lookup
// of a name already passed goes to its record at once and the table is
// never read twice, however many projects are included.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace veilbox {

class TDBase3Plus;

class MasterIndex {
 public:
  MasterIndex();
  ~MasterIndex();
  MasterIndex(MasterIndex&&) noexcept;
  MasterIndex& operator=(MasterIndex&&) noexcept;

  // Takes the master table, open; nothing of it is read yet. The fields
  // are read as the lookup reads them: "name" compared upper-cased, "path"
  // taken as it stands; a table without one of them gives empty texts.
  void Load(std::unique_ptr<TDBase3Plus> master);

  // The "path" of the first record whose upper-cased "name" equals name
  // upper-cased, or null when no record carries it (or before Load). The
  // text stays valid as long as the index.
  const std::string* Find(const std::string& name);

 private:
  // Record numbers by the hash of their upper-cased name: the first record
  // of each hash, open addressing.
  struct Slot {
    std::uint64_t hash = 0;  // 0: empty
    std::int32_t record = 0;
  };
  // The first record of this hash, if one was passed.
  std::optional<std::int32_t> Indexed(std::uint64_t hash) const;
  // Notes record under hash unless a record of that hash is noted.
  void Index(std::uint64_t hash, std::int32_t record);
  // Reads on from the first record not yet read until one whose name is
  // key (upper-cased, of hash); its number, or none at the end.
  std::optional<std::int32_t> ReadOnUntil(const std::string& key, std::uint64_t hash);
  // The record's upper-cased name equals key.
  bool NameAt(std::int32_t record, const std::string& key);
  // The first record from `from` on, among those read so far, whose name
  // is key, or none.
  std::optional<std::int32_t> SearchRead(std::int64_t from, const std::string& key);

  std::unique_ptr<TDBase3Plus> master_;
  int name_field_ = 0;
  int path_field_ = 0;
  // Records 0 to next_ - 1 are read and indexed; at_end_ once the scan
  // reached Eof.
  std::int64_t next_ = 0;
  bool at_end_ = false;
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
  // What each name looked up gave, by the name upper-cased.
  std::unordered_map<std::string, std::optional<std::string>> found_;
};

}  // namespace veilbox
