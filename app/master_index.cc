#include "app/master_index.h"

#include <algorithm>
#include <cstring>

#include "dbase/dbase3plus.h"
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

// A hash of text upper-cased (a to z), never 0; eight bytes at a time.
std::uint32_t UpperHash(std::string_view text) {
  std::uint64_t h = 0xcbf29ce484222325ull ^ text.size();
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    h = (h ^ UpperWord(word)) * 0x9e3779b97f4a7c15ull;
    h ^= h >> 29;
  }
  if (i < text.size()) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + i, text.size() - i);
    h = (h ^ UpperWord(word)) * 0x9e3779b97f4a7c15ull;
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  const auto folded = static_cast<std::uint32_t>(h ^ (h >> 32));
  return folded == 0 ? 1 : folded;
}

// text upper-cased equals key (upper-cased already).
bool EqualsUpper(std::string_view text, const std::string& key) {
  if (text.size() != key.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (Upper(text[i]) != key[i]) return false;
  return true;
}

// GoToRecord's argument for record n: past the 32-bit numbers it wraps
// as Next does, and the table ends there.
std::int32_t RecordArgument(std::int64_t n) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
}

// The table's addresses end at 4 GiB (dbase3plus.h).
constexpr std::uint64_t kAddressLimit = std::uint64_t{1} << 32;

}  // namespace

MasterIndex::MasterIndex() = default;
MasterIndex::~MasterIndex() = default;
MasterIndex::MasterIndex(MasterIndex&&) noexcept = default;
MasterIndex& MasterIndex::operator=(MasterIndex&&) noexcept = default;

void MasterIndex::Load(std::unique_ptr<TDBase3Plus> master) {
  master_ = std::move(master);
  name_field_ = master_->FieldNumber("name");
  path_field_ = master_->FieldNumber("path");
  found_.clear();
  MapView();
}

void MasterIndex::MapView() {
  DropView();
  // The records the file holds whole now, up to the one past the count
  // (GoToRecord reads that one too), are read through a view. A table of
  // empty records, or one that cannot be mapped, is read as before.
  record_size_ = master_->RecordSize();
  const std::int32_t count = master_->RecordCount();
  if (record_size_ == 0 || count < 0 || !master_->IsOpen()) return;
  if (!view_.Open(master_->FileName(), nullptr)) return;
  first_offset_ = master_->FirstRecordOffset();
  const std::uint64_t limit = std::min<std::uint64_t>(view_.bytes().size(), kAddressLimit);
  const std::uint64_t whole = limit < first_offset_ ? 0 : (limit - first_offset_) / record_size_;
  mapped_records_ =
      static_cast<std::int64_t>(std::min<std::uint64_t>(whole, std::uint64_t{1} + count));
  const TDBase3Plus::Place name = master_->FieldPlace(name_field_);
  const TDBase3Plus::Place path = master_->FieldPlace(path_field_);
  name_start_ = name.start;
  name_length_ = name.length;
  path_start_ = path.start;
  path_length_ = path.length;
}

void MasterIndex::DropView() {
  view_.Close();
  mapped_records_ = 0;
  next_ = 0;
  at_end_ = false;
  slots_.assign(1024, Slot{});
  used_ = 0;
}

std::string_view MasterIndex::MappedField(std::int64_t record, std::size_t start,
                                          std::size_t length) const {
  const char* field = view_.bytes().data() + first_offset_ +
                      static_cast<std::uint64_t>(record) * record_size_ + start;
  return std::string_view(field, TrimmedLength(field, length));
}

std::optional<std::int32_t> MasterIndex::Indexed(std::uint32_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    if (slots_[i].hash == hash) return slots_[i].record;
    if (slots_[i].hash == 0) return std::nullopt;
  }
}

void MasterIndex::PrefetchSlot(std::uint32_t hash) const {
  __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
}

void MasterIndex::Index(std::uint32_t hash, std::int32_t record) {
  if ((used_ + 1) * 2 > slots_.size()) {
    // Once the scan has gone far, room for every record the view holds at
    // once, rather than a copy at each doubling.
    std::size_t size = slots_.size() * 2;
    if (used_ >= 16384)
      while (size < 2 * static_cast<std::size_t>(std::max<std::int64_t>(mapped_records_, 0)))
        size *= 2;
    std::vector<Slot> old(size);
    old.swap(slots_);
    used_ = 0;
    for (const Slot& slot : old)
      if (slot.hash != 0) Index(slot.hash, slot.record);
  }
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = hash & mask;
  while (slots_[i].hash != 0) {
    if (slots_[i].hash == hash) return;  // the first record of the hash stays
    i = (i + 1) & mask;
  }
  slots_[i] = Slot{hash, record};
  ++used_;
}

bool MasterIndex::NameAt(std::int32_t record, const std::string& key) {
  if (record < mapped_records_)
    return EqualsUpper(MappedField(record, name_start_, name_length_), key);
  // Eof stays set once the scan reached the end: a record read before is
  // read again all the same, unless the table has since become shorter.
  const bool was_at_end = master_->Eof();
  master_->GoToRecord(record);
  return (was_at_end || !master_->Eof()) && master_->RecNo() == record &&
         EqualsUpper(master_->FieldView(name_field_), key);
}

std::optional<std::int32_t> MasterIndex::SearchRead(std::int64_t from, const std::string& key) {
  for (std::int64_t n = from; n < next_; ++n)
    if (NameAt(RecordArgument(n), key)) return RecordArgument(n);
  return std::nullopt;
}

std::optional<std::int32_t> MasterIndex::ReadOnUntil(const std::string& key, std::uint32_t hash) {
  // Only the first record of a hash is indexed: a later one of the same
  // name is never the answer, and one of another name with the same hash
  // is found by SearchRead.
  // Through the view a batch of records at a time: their names hashed
  // first and their slots fetched ahead, so that the memory waits of the
  // index overlap; a few hundred kilobytes of the file asked for at once,
  // and the part passed given back.
  constexpr int kBatch = 16;
  constexpr std::int64_t kChunkBytes = std::int64_t{1} << 20;
  // (A table of empty records has no view, and this comes to nothing.)
  const std::int64_t chunk_records = std::max<std::int64_t>(
      1, kChunkBytes / static_cast<std::int64_t>(std::max<std::size_t>(record_size_, 1)));
  const auto chunk_bytes = static_cast<std::size_t>(chunk_records) * record_size_;
  while (!at_end_ && next_ < mapped_records_) {
    if (next_ % chunk_records == 0) {
      const auto at = static_cast<std::size_t>(first_offset_ +
                                               static_cast<std::uint64_t>(next_) * record_size_);
      view_.WillRead(at, chunk_bytes);
      if (next_ >= 2 * chunk_records) view_.DoneWith(at - 2 * chunk_bytes, chunk_bytes);
    }
    const int n = static_cast<int>(std::min<std::int64_t>(
        {kBatch, mapped_records_ - next_, chunk_records - next_ % chunk_records}));
    std::uint32_t hashes[kBatch];
    // The names of the batch after this one are fetched meanwhile.
    for (int i = 0; i < kBatch && next_ + kBatch + i < mapped_records_; ++i)
      __builtin_prefetch(MappedField(next_ + kBatch + i, name_start_, 0).data());
    for (int i = 0; i < n; ++i) {
      hashes[i] = UpperHash(MappedField(next_ + i, name_start_, name_length_));
      PrefetchSlot(hashes[i]);
    }
    for (int i = 0; i < n; ++i) {
      const auto record = static_cast<std::int32_t>(next_++);
      Index(hashes[i], record);
      if (hashes[i] == hash && EqualsUpper(MappedField(record, name_start_, name_length_), key))
        return record;
    }
  }
  while (!at_end_) {
    const std::int32_t record = RecordArgument(next_);
    master_->GoToRecord(record);
    if (master_->Eof()) {
      at_end_ = true;
      break;
    }
    ++next_;
    const std::string_view name = master_->FieldView(name_field_);
    const std::uint32_t h = UpperHash(name);
    Index(h, record);
    if (h == hash && EqualsUpper(name, key)) return record;
  }
  return std::nullopt;
}

std::optional<std::int32_t> MasterIndex::Lookup(const std::string& key, std::string* path) {
  const std::uint32_t hash = UpperHash(key);
  std::optional<std::int32_t> record;
  if (const auto first = Indexed(hash)) {
    // A record of this hash was read: the first of the name is this one,
    // a later one already read, or one not read yet.
    record = NameAt(*first, key) ? first : SearchRead(std::int64_t{*first} + 1, key);
  }
  if (!record) record = ReadOnUntil(key, hash);
  if (!record) return std::nullopt;
  // A record of the table (not the view) found is the table's current one.
  *path = *record < mapped_records_
              ? std::string(MappedField(*record, path_start_, path_length_))
              : std::string(master_->FieldView(path_field_));
  return record;
}

const std::string* MasterIndex::Find(const std::string& name) {
  if (!master_) return nullptr;
  const std::string key = UpperAscii(name);
  auto [it, fresh] = found_.try_emplace(key);
  if (fresh) {
    std::string path;
    std::optional<std::int32_t> record = Lookup(key, &path);
    // The file was shortened under the view, and what was read of it may
    // be zeros: everything is read again through a view of the file as it
    // stands now, or, should it keep changing, through the table alone.
    for (int attempt = 0; !view_.Intact(); ++attempt) {
      if (attempt < 2)
        MapView();
      else
        DropView();
      record = Lookup(key, &path);
    }
    if (record) it->second = std::move(path);
  }
  return it->second ? &*it->second : nullptr;
}

}  // namespace veilbox
