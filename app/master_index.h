// The master table's projects by name, for the project and include
// lookups of one compile run.
//
// Each lookup gives what a scan of master.dbf from its first record would
// give: the "path" of the first record in file order, deleted or not,
// whose "name" equals the name sought, both upper-cased (a to z only). The
// table is read once at most, and only as far as the lookups need: the
// project of the run is usually found after a few records. The records
// passed over on the way keep a hash of their upper-cased name (four bytes
// a record, no text), so that a later lookup of a name already passed
// goes to its record at once and the table is never read twice, however
// many projects are included.
//
// The records the file holds when the index is loaded are read straight
// from the file, many at a time and, for long stretches, on a few threads
// side by side (a name's hash depends on its record alone); the records
// beyond (added since) are read through the table, as its own scan would
// read them. Should the file be shortened meanwhile, a lookup that met the
// missing part is made again from the first record, through the file as it
// then stands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/files.h"

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
  // Long stretches of the table are read on up to `workers` threads.
  void Load(std::unique_ptr<TDBase3Plus> master, unsigned workers = 1);

  // The "path" of the first record whose upper-cased "name" equals name
  // upper-cased, or null when no record carries it (or before Load). The
  // text stays valid as long as the index.
  const std::string* Find(const std::string& name);

 private:
  // The first record of each hash, for many lookups among the records
  // passed: open addressing, the slot found from the hash alone.
  struct Slot {
    std::uint32_t hash = 0;  // 0: empty
    std::int32_t record = 0;
  };
  // The first record from `from` on, among those passed, whose name has
  // this hash.
  std::optional<std::int64_t> FirstOfHash(std::uint32_t hash, std::int64_t from);
  // Brings the slots up to the records passed.
  void SlotPassedRecords();
  // The record's name equals key (upper-cased and padded with blanks to
  // the field's length).
  bool NameAt(std::int64_t record, const std::string& key);
  // The first record from `from` on, among those passed, whose name is
  // key.
  std::optional<std::int64_t> SearchPassed(std::int64_t from, const std::string& key,
                                           std::uint32_t hash);
  // Hashes the names of count records from `first` on, read from the
  // file, into hashes_; false when the file no longer holds them all.
  bool HashFromFile(std::int64_t first, std::int64_t count);
  // Reads on from the first record not yet passed until one whose name is
  // key; its number, or none at the end.
  std::optional<std::int64_t> ReadOnUntil(const std::string& key, std::uint32_t hash);
  // The record's path; none when the file no longer holds it.
  std::optional<std::string> PathAt(std::int64_t record);
  // Looks key up from scratch; the record found, if any, with its path
  // in *path.
  std::optional<std::int64_t> Lookup(const std::string& key, std::string* path);
  // Forgets all that was read and opens the file as it stands now, to
  // read its records in blocks; with `blocks` false, for reading through
  // the table alone.
  void Restart(bool blocks);
  // Reads n bytes at offset of the file; false when fewer arrive.
  bool ReadWhole(std::uint64_t offset, char* buffer, std::size_t n);

  std::unique_ptr<TDBase3Plus> master_;
  unsigned workers_ = 1;
  int name_field_ = 0;
  int path_field_ = 0;
  // The file, for reading records 0 to block_records_ - 1 in blocks;
  // their layout as the table read it. intact_ goes false when a read
  // found the file shorter than it was.
  platform::File file_;
  bool intact_ = true;
  std::int64_t block_records_ = 0;
  std::uint64_t first_offset_ = 0;
  std::size_t record_size_ = 0;
  std::size_t name_start_ = 0, name_length_ = 0;
  std::size_t path_start_ = 0, path_length_ = 0;
  // Records 0 to passed() - 1 are read, hashes_[n] the hash of record n's
  // name; at_end_ once the scan reached Eof.
  std::vector<std::uint32_t> hashes_;
  bool at_end_ = false;
  std::int64_t next_block_ = 0;  // the size of the next stretch read
  // The slots, once lookups among the records passed have become many;
  // records below slotted_ are in them.
  int searches_ = 0;
  std::vector<Slot> slots_;
  std::int64_t slotted_ = 0;
  // What each name looked up gave, by the name upper-cased.
  std::unordered_map<std::string, std::optional<std::string>> found_;

  std::int64_t passed() const { return static_cast<std::int64_t>(hashes_.size()); }
};

}  // namespace veilbox
