#include "app/master_index.h"

#include <algorithm>
#include <cstring>

#include "dbase/dbase3plus.h"
#include "sysutil/ordered_parallel_pass.h"
#include "sysutil/text_utils.h"

namespace veilbox {
namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The eight bytes of a word with a to z upper-cased, every other byte
// as it is.
std::uint64_t UpperWord(std::uint64_t x) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  const std::uint64_t low = x & ~kHigh;
  const std::uint64_t from_a = low + kOnes * (0x80 - 'a');      // high bit: low >= 'a'
  const std::uint64_t past_z = low + kOnes * (0x80 - 'z' - 1);  // high bit: low > 'z'
  const std::uint64_t lower = from_a & ~past_z & ~x & kHigh;
  return x ^ (lower >> 2);
}

// The 64 bits of a hash mixed down to 32, never 0.
std::uint32_t Folded(std::uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  const auto folded = static_cast<std::uint32_t>(h ^ (h >> 32));
  return folded == 0 ? 1 : folded;
}

// A hash of a name field upper-cased (a to z), never 0; eight bytes at a
// time. Names are hashed with the blanks that pad them to the field's
// length, so the field is hashed as it lies in the record; the hash stops
// at the first eight blanks, where the padding usually starts (names that
// differ only after them share a hash, and are told apart by their text).
std::uint32_t UpperHash(std::string_view field) {
  constexpr std::uint64_t kBlanks = 0x2020202020202020ull;
  std::uint64_t h = 0xcbf29ce484222325ull;
  std::size_t i = 0;
  for (; i + 8 <= field.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, field.data() + i, 8);
    if (word == kBlanks) return Folded(h);
    h = (h ^ UpperWord(word)) * 0x9e3779b97f4a7c15ull;
    h ^= h >> 29;
  }
  if (i < field.size()) {
    std::uint64_t word = 0;
    std::memcpy(&word, field.data() + i, field.size() - i);
    h = (h ^ UpperWord(word)) * 0x9e3779b97f4a7c15ull;
  }
  return Folded(h);
}

// A name as the table's reader gives it (blanks at the end removed, no
// longer than the field), padded with blanks to the field's length.
std::string Padded(std::string_view value, std::size_t length) {
  std::string field(value.substr(0, length));
  field.resize(length, ' ');
  return field;
}

// field upper-cased equals key (upper-cased and padded already).
bool EqualsUpper(std::string_view field, const std::string& key) {
  if (field.size() != key.size()) return false;
  for (std::size_t i = 0; i < field.size(); ++i)
    if (Upper(field[i]) != key[i]) return false;
  return true;
}

// GoToRecord's argument for record n: past the 32-bit numbers it wraps
// as Next does, and the table ends there.
std::int32_t RecordArgument(std::int64_t n) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
}

// The table's addresses end at 4 GiB (dbase3plus.h).
constexpr std::uint64_t kAddressLimit = std::uint64_t{1} << 32;

// The first stretch read is short, for a project near the start of the
// table; each next one twice as long, up to the longest.
constexpr std::int64_t kFirstStretch = 256;
constexpr std::int64_t kLongestStretch = std::int64_t{1} << 16;
// A stretch this long is read on all the workers, a part each.
constexpr std::int64_t kSharedStretch = 8192;
// What a worker reads from the file at once.
constexpr std::size_t kReadBytes = std::size_t{128} << 10;
// Lookups among the records passed go through their hashes one by one
// until this many were made; then through slots, built once.
constexpr int kSearchesBeforeSlots = 128;

}  // namespace

MasterIndex::MasterIndex() = default;
MasterIndex::~MasterIndex() = default;
MasterIndex::MasterIndex(MasterIndex&&) noexcept = default;
MasterIndex& MasterIndex::operator=(MasterIndex&&) noexcept = default;

void MasterIndex::Load(std::unique_ptr<TDBase3Plus> master, unsigned workers) {
  master_ = std::move(master);
  workers_ = std::max(1u, workers);
  name_field_ = master_->FieldNumber("name");
  path_field_ = master_->FieldNumber("path");
  found_.clear();
  Restart(true);
}

void MasterIndex::Restart(bool blocks) {
  file_.Close();
  intact_ = true;
  block_records_ = 0;
  hashes_.clear();
  at_end_ = false;
  next_block_ = kFirstStretch;
  searches_ = 0;
  slots_.clear();
  slotted_ = 0;
  record_size_ = master_->RecordSize();
  const TDBase3Plus::Place name = master_->FieldPlace(name_field_);
  const TDBase3Plus::Place path = master_->FieldPlace(path_field_);
  name_start_ = name.start;
  name_length_ = name.length;
  path_start_ = path.start;
  path_length_ = path.length;
  // The records the file holds whole now, up to the one past the count
  // (GoToRecord reads that one too), are read in blocks. A table of empty
  // records, or a file that cannot be opened for reading, is read through
  // the table.
  const std::int32_t count = master_->RecordCount();
  if (!blocks || record_size_ == 0 || count < 0 || !master_->IsOpen()) return;
  std::uint32_t error = 0;
  if (!platform::File::OpenExisting(master_->FileName(), false, platform::Share::kReadWrite, &file_,
                                    &error))
    return;
  const std::optional<std::uint64_t> size = file_.Size();
  if (!size) {
    file_.Close();
    return;
  }
  first_offset_ = master_->FirstRecordOffset();
  const std::uint64_t limit = std::min<std::uint64_t>(*size, kAddressLimit);
  const std::uint64_t whole = limit < first_offset_ ? 0 : (limit - first_offset_) / record_size_;
  block_records_ =
      static_cast<std::int64_t>(std::min<std::uint64_t>(whole, std::uint64_t{1} + count));
}

bool MasterIndex::ReadWhole(std::uint64_t offset, char* buffer, std::size_t n) {
  std::size_t got = 0;
  return file_.ReadAt(offset, buffer, n, &got) && got == n;
}

std::optional<std::int64_t> MasterIndex::FirstOfHash(std::uint32_t hash, std::int64_t from) {
  const std::uint32_t* hashes = hashes_.data();
  const std::int64_t to = passed();
  std::int64_t n = from;
  // Sixteen at a time, which the compiler compares side by side.
  for (; n + 16 <= to; n += 16) {
    bool any = false;
    for (int i = 0; i < 16; ++i) any |= hashes[n + i] == hash;
    if (any) break;
  }
  for (; n < to; ++n)
    if (hashes[n] == hash) return n;
  return std::nullopt;
}

void MasterIndex::SlotPassedRecords() {
  const auto insert = [this](std::uint32_t hash, std::uint32_t record) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].hash != 0) {
      if (slots_[i].hash == hash) return;  // the first record of the hash stays
      i = (i + 1) & mask;
    }
    slots_[i] = Slot{hash, static_cast<std::int32_t>(record)};
  };
  if (static_cast<std::uint64_t>(passed()) * 2 > slots_.size()) {
    std::size_t size = 1024;
    while (size < static_cast<std::uint64_t>(std::max(passed(), block_records_)) * 2) size *= 2;
    slots_.assign(size, Slot{});
    slotted_ = 0;
  }
  for (; slotted_ < passed(); ++slotted_)
    insert(hashes_[slotted_], static_cast<std::uint32_t>(slotted_));
}

bool MasterIndex::NameAt(std::int64_t record, const std::string& key) {
  if (record < block_records_) {
    std::string field(name_length_, '\0');
    if (!ReadWhole(first_offset_ + static_cast<std::uint64_t>(record) * record_size_ + name_start_,
                   field.data(), field.size())) {
      intact_ = false;
      return false;
    }
    return EqualsUpper(field, key);
  }
  // Eof stays set once the scan reached the end: a record read before is
  // read again all the same, unless the table has since become shorter.
  const bool was_at_end = master_->Eof();
  master_->GoToRecord(RecordArgument(record));
  return (was_at_end || !master_->Eof()) && master_->RecNo() == RecordArgument(record) &&
         EqualsUpper(Padded(master_->FieldView(name_field_), name_length_), key);
}

std::optional<std::int64_t> MasterIndex::SearchPassed(std::int64_t from, const std::string& key,
                                                      std::uint32_t hash) {
  for (std::optional<std::int64_t> n = FirstOfHash(hash, from); n && intact_;
       n = FirstOfHash(hash, *n + 1))
    if (NameAt(*n, key)) return n;
  return std::nullopt;
}

bool MasterIndex::HashFromFile(std::int64_t first, std::int64_t count) {
  const unsigned parts = count >= kSharedStretch ? workers_ : 1;
  std::vector<char> whole(parts, 1);
  const auto part = [&](std::size_t index) {
    const std::int64_t begin = first + count * static_cast<std::int64_t>(index) / parts;
    const std::int64_t end = first + count * static_cast<std::int64_t>(index + 1) / parts;
    const auto per_read =
        static_cast<std::int64_t>(std::max<std::size_t>(1, kReadBytes / record_size_));
    std::vector<char> buffer(static_cast<std::size_t>(std::min(per_read, end - begin)) *
                             record_size_);
    for (std::int64_t n = begin; n < end; n += per_read) {
      const std::int64_t records = std::min(per_read, end - n);
      if (!ReadWhole(first_offset_ + static_cast<std::uint64_t>(n) * record_size_, buffer.data(),
                     static_cast<std::size_t>(records) * record_size_)) {
        whole[index] = 0;
        return;
      }
      const char* record = buffer.data();
      for (std::int64_t i = 0; i < records; ++i, record += record_size_)
        hashes_[static_cast<std::size_t>(n + i)] =
            UpperHash(std::string_view(record + name_start_, name_length_));
    }
  };
  RunOrderedPass(parts, parts, part);
  return std::all_of(whole.begin(), whole.end(), [](char ok) { return ok != 0; });
}

std::optional<std::int64_t> MasterIndex::ReadOnUntil(const std::string& key, std::uint32_t hash) {
  // Only records the file held at the start are read in blocks; a stretch
  // is hashed whole, then searched in order.
  while (!at_end_ && passed() < block_records_) {
    const std::int64_t first = passed();
    const std::int64_t count = std::min(next_block_, block_records_ - first);
    next_block_ = std::min(next_block_ * 2, kLongestStretch);
    hashes_.resize(static_cast<std::size_t>(first + count));
    if (!HashFromFile(first, count)) {
      hashes_.resize(static_cast<std::size_t>(first));
      intact_ = false;
      return std::nullopt;
    }
    if (const auto record = SearchPassed(first, key, hash)) return record;
    if (!intact_) return std::nullopt;
  }
  while (!at_end_) {
    const std::int64_t record = passed();
    master_->GoToRecord(RecordArgument(record));
    if (master_->Eof()) {
      at_end_ = true;
      break;
    }
    const std::string name = Padded(master_->FieldView(name_field_), name_length_);
    const std::uint32_t h = UpperHash(name);
    hashes_.push_back(h);
    if (h == hash && EqualsUpper(name, key)) return record;
  }
  return std::nullopt;
}

std::optional<std::string> MasterIndex::PathAt(std::int64_t record) {
  // A record read through the table is the table's current one.
  if (record >= block_records_) return std::string(master_->FieldView(path_field_));
  std::string path(path_length_, '\0');
  if (!ReadWhole(first_offset_ + static_cast<std::uint64_t>(record) * record_size_ + path_start_,
                 path.data(), path.size())) {
    intact_ = false;
    return std::nullopt;
  }
  path.resize(TrimmedLength(path.data(), path.size()));
  return path;
}

std::optional<std::int64_t> MasterIndex::Lookup(const std::string& name, std::string* path) {
  // A name longer than the field, or one that ends in a blank, is in no
  // record: the table removes the blanks that end a field.
  if (name.size() > name_length_ || (!name.empty() && name.back() == ' ')) return std::nullopt;
  const std::string key = Padded(name, name_length_);
  const std::uint32_t hash = UpperHash(key);
  std::optional<std::int64_t> record;
  if (passed() > 0) {
    if (++searches_ <= kSearchesBeforeSlots) {
      record = SearchPassed(0, key, hash);
    } else {
      // The first record of this hash was passed, a later one of the same
      // name, or none yet.
      SlotPassedRecords();
      const std::size_t mask = slots_.size() - 1;
      for (std::size_t i = hash & mask; slots_[i].hash != 0; i = (i + 1) & mask) {
        if (slots_[i].hash != hash) continue;
        const std::int64_t first = static_cast<std::uint32_t>(slots_[i].record);
        record = NameAt(first, key) ? first : SearchPassed(first + 1, key, hash);
        break;
      }
    }
  }
  if (!record && intact_) record = ReadOnUntil(key, hash);
  if (!record || !intact_) return std::nullopt;
  std::optional<std::string> found = PathAt(*record);
  if (!found) return std::nullopt;
  *path = std::move(*found);
  return record;
}

const std::string* MasterIndex::Find(const std::string& name) {
  if (!master_) return nullptr;
  const std::string key = UpperAscii(name);
  auto [it, fresh] = found_.try_emplace(key);
  if (fresh) {
    std::string path;
    std::optional<std::int64_t> record = Lookup(key, &path);
    // The file was shortened while it was read, and what was read of it
    // may be wrong: everything is read again from the file as it stands
    // now, or, should it keep changing, through the table alone.
    for (int attempt = 0; !intact_; ++attempt) {
      Restart(attempt < 2);
      record = Lookup(key, &path);
    }
    if (record) it->second = std::move(path);
  }
  return it->second ? &*it->second : nullptr;
}

}  // namespace veilbox
