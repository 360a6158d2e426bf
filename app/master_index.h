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
//
// Where the system can map the file, the records it holds when the index
// is loaded are read in place, through the view, with the same results;
// the records beyond (added since) are read through the table. Should the
// file be shortened under the view, a lookup that met the missing part is
// made again from the first record, through a view of the file as it then
// stands.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/mapped_file.h"

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
  // of each hash, open addressing, the slot found from the hash alone.
  struct Slot {
    std::uint32_t hash = 0;  // 0: empty
    std::int32_t record = 0;
  };
  // The first record of this hash, if one was passed.
  std::optional<std::int32_t> Indexed(std::uint32_t hash) const;
  // Asks the processor for the memory of hash's first slot.
  void PrefetchSlot(std::uint32_t hash) const;
  // Notes record under hash unless a record of that hash is noted.
  void Index(std::uint32_t hash, std::int32_t record);
  // Reads on from the first record not yet read until one whose name is
  // key (upper-cased, of hash); its number, or none at the end.
  std::optional<std::int32_t> ReadOnUntil(const std::string& key, std::uint32_t hash);
  // The record's upper-cased name equals key.
  bool NameAt(std::int32_t record, const std::string& key);
  // The first record from `from` on, among those read so far, whose name
  // is key, or none.
  std::optional<std::int32_t> SearchRead(std::int64_t from, const std::string& key);
  // The record's name or path, in place in the view (record below
  // mapped_records_).
  std::string_view MappedField(std::int64_t record, std::size_t start, std::size_t length) const;
  // Looks name (upper-cased) up from scratch; the record found, if any,
  // with its path in *path.
  std::optional<std::int32_t> Lookup(const std::string& key, std::string* path);
  // Forgets the view and all that was read, for reading the table alone.
  void DropView();
  // Forgets all that was read and maps the file as it stands now, where
  // the system can.
  void MapView();

  std::unique_ptr<TDBase3Plus> master_;
  int name_field_ = 0;
  int path_field_ = 0;
  // The view of the file and the records 0 to mapped_records_ - 1 that it
  // holds whole; their layout as the table read it.
  platform::MappedFile view_;
  std::int64_t mapped_records_ = 0;
  std::uint64_t first_offset_ = 0;
  std::size_t record_size_ = 0;
  std::size_t name_start_ = 0, name_length_ = 0;
  std::size_t path_start_ = 0, path_length_ = 0;
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
