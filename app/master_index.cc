#include "app/master_index.h"

#include "dbase/dbase3plus.h"
#include "sysutil/text_utils.h"

namespace veilbox {
namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// A hash of text upper-cased (a to z), never 0.
std::uint64_t UpperHash(std::string_view text) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (char c : text) {
    h ^= static_cast<unsigned char>(Upper(c));
    h *= 0x100000001b3ull;
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return h == 0 ? 1 : h;
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

}  // namespace

MasterIndex::MasterIndex() = default;
MasterIndex::~MasterIndex() = default;
MasterIndex::MasterIndex(MasterIndex&&) noexcept = default;
MasterIndex& MasterIndex::operator=(MasterIndex&&) noexcept = default;

void MasterIndex::Load(std::unique_ptr<TDBase3Plus> master) {
  master_ = std::move(master);
  name_field_ = master_->FieldNumber("name");
  path_field_ = master_->FieldNumber("path");
  next_ = 0;
  at_end_ = false;
  slots_.assign(1024, Slot{});
  used_ = 0;
  found_.clear();
}

std::optional<std::int32_t> MasterIndex::Indexed(std::uint64_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    if (slots_[i].hash == hash) return slots_[i].record;
    if (slots_[i].hash == 0) return std::nullopt;
  }
}

void MasterIndex::Index(std::uint64_t hash, std::int32_t record) {
  if ((used_ + 1) * 2 > slots_.size()) {
    std::vector<Slot> old(slots_.size() * 2);
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

std::optional<std::int32_t> MasterIndex::ReadOnUntil(const std::string& key, std::uint64_t hash) {
  while (!at_end_) {
    const std::int32_t record = RecordArgument(next_);
    master_->GoToRecord(record);
    if (master_->Eof()) {
      at_end_ = true;
      break;
    }
    ++next_;
    const std::string_view name = master_->FieldView(name_field_);
    const std::uint64_t h = UpperHash(name);
    // Only the first record of a hash is indexed: a later one of the same
    // name is never the answer, and one of another name with the same
    // hash is found by SearchRead.
    Index(h, record);
    if (h == hash && EqualsUpper(name, key)) return record;
  }
  return std::nullopt;
}

const std::string* MasterIndex::Find(const std::string& name) {
  if (!master_) return nullptr;
  const std::string key = UpperAscii(name);
  auto [it, fresh] = found_.try_emplace(key);
  if (fresh) {
    const std::uint64_t hash = UpperHash(key);
    std::optional<std::int32_t> record;
    if (const auto first = Indexed(hash)) {
      // A record of this hash was read: the first of the name is this
      // one, a later one already read, or one not read yet.
      record = NameAt(*first, key) ? first : SearchRead(std::int64_t{*first} + 1, key);
    }
    if (!record) record = ReadOnUntil(key, hash);
    // Each way ends with the record found current.
    if (record) it->second = std::string(master_->FieldView(path_field_));
  }
  return it->second ? &*it->second : nullptr;
}

}  // namespace veilbox
