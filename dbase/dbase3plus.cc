#include "dbase/dbase3plus.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "sysutil/errors.h"

namespace veilbox {
namespace {

constexpr unsigned char kTerminator = 0x0D;
constexpr std::size_t kNameOffset = 0;
constexpr std::size_t kNameSize = 11;
constexpr std::size_t kFieldLengthOffset = 16;
// The format addresses records with 32-bit offsets; nothing past this
// limit belongs to the table.
constexpr std::uint64_t kAddressLimit = std::uint64_t{1} << 32;
// The window starts small, so that opening a table to look at a few
// records reads little of it, and doubles up to the largest size while the
// reads go on through the file in order.
constexpr std::size_t kMaxWindow = std::size_t{1} << 20;
constexpr std::size_t kMinWindow = std::size_t{64} << 10;

std::uint32_t LittleEndian(const unsigned char* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

char UpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

TDBase3Plus::TDBase3Plus() = default;

TDBase3Plus::~TDBase3Plus() {
  if (open_) Close();
}

std::uint16_t TDBase3Plus::HeaderLength() const {
  return static_cast<std::uint16_t>(LittleEndian(&header_[8], 2));
}

std::uint16_t TDBase3Plus::RecordLength() const {
  return static_cast<std::uint16_t>(LittleEndian(&header_[10], 2));
}

std::int32_t TDBase3Plus::RecordCount() const {
  return static_cast<std::int32_t>(LittleEndian(&header_[4], 4));
}

void TDBase3Plus::SetRecordCount(std::int32_t count) {
  const auto v = static_cast<std::uint32_t>(count);
  for (int i = 0; i < 4; ++i) header_[4 + i] = static_cast<unsigned char>(v >> (8 * i));
}

std::uint64_t TDBase3Plus::RecordOffset(std::int32_t n) const {
  return HeaderLength() + static_cast<std::uint64_t>(n) * RecordLength();
}

std::string TDBase3Plus::FieldName(int j) const {
  if (j < 1 || j > field_count_) return std::string();
  const unsigned char* name = &descriptors_[j - 1][kNameOffset];
  const std::size_t len = std::find(name, name + kNameSize, static_cast<unsigned char>(0)) - name;
  return std::string(reinterpret_cast<const char*>(name), len);
}

void TDBase3Plus::Close() {
  if (!open_) return;
  SettleValues();
  file_.Close();
  open_ = false;
  record_.clear();
  record_.shrink_to_fit();
  window_.reset();
  window_capacity_ = 0;
  window_start_ = 0;
  window_size_ = 0;
  window_at_end_ = false;
}

void TDBase3Plus::Open() {
  if (open_) Close();
  SettleValues();
  if (file_name_.empty()) throw TableOpenError("Cannot open a table without a file name");
  platform::File file;
  std::uint32_t error = 0;
  if (!platform::File::OpenExisting(file_name_, /*write=*/true, platform::Share::kReadWrite, &file,
                                    &error)) {
    throw TableOpenError("Cannot open table " + file_name_);
  }
  file_ = std::move(file);
  open_ = true;

  window_capacity_ = kMinWindow;
  window_.reset(new char[window_capacity_]);
  window_start_ = 0;
  window_size_ = 0;
  window_at_end_ = false;

  const char* bytes = nullptr;
  if (ReadBytes(0, kHeaderSize, &bytes) != ReadResult::kWhole) {
    Close();
    throw TableOpenError("Table " + file_name_ + " is too short for a header");
  }
  std::memcpy(header_.data(), bytes, kHeaderSize);
  record_.assign(RecordLength(), 0);

  int stored = 0;
  for (std::uint64_t offset = kHeaderSize; stored < kMaxFields; offset += kDescriptorSize) {
    if (ReadBytes(offset, kDescriptorSize, &bytes) != ReadResult::kWhole) break;
    if (static_cast<unsigned char>(bytes[0]) == kTerminator) break;
    std::memcpy(descriptors_[stored++].data(), bytes, kDescriptorSize);
  }
  field_count_ = static_cast<std::uint8_t>(stored);

  // Fields in descriptor order after the flag byte; whatever reaches past
  // the record length is cut there.
  const std::size_t record_length = record_.size();
  std::size_t position = 1;
  for (int j = 0; j < field_count_; ++j) {
    FieldLayout& field = layout_[j];
    const std::string name = FieldName(j + 1);
    field.name_length = name.size();
    std::memset(field.upper_name, 0, sizeof(field.upper_name));
    for (std::size_t i = 0; i < name.size(); ++i) field.upper_name[i] = UpperChar(name[i]);
    field.declared = descriptors_[j][kFieldLengthOffset];
    field.start = std::min(position, record_length);
    field.length = std::min(position + field.declared, record_length) - field.start;
    position += field.declared;
  }

  if (RecordCount() > 0) GoToRecord(0);
}

TDBase3Plus::ReadResult TDBase3Plus::ReadBytes(std::uint64_t offset, std::size_t n,
                                               const char** bytes) {
  if (offset + n > kAddressLimit) return ReadResult::kShort;
  const std::uint64_t window_end = window_start_ + window_size_;
  if (n == 0 || (offset >= window_start_ && offset + n <= window_end)) {
    *bytes = window_.get() + (n == 0 ? 0 : offset - window_start_);
    return ReadResult::kWhole;
  }
  std::size_t got = 0;
  if (window_at_end_ && offset >= window_start_) {
    // Past the end of the file as it was: ask the file itself, which may
    // have grown since, and keep the window.
    probe_.resize(n);
    if (!file_.ReadAt(offset, probe_.data(), n, &got)) return ReadResult::kFailed;
    *bytes = probe_.data();
    return got == n ? ReadResult::kWhole : ReadResult::kShort;
  }
  std::size_t capacity = window_capacity_;
  if (window_size_ != 0 && offset >= window_start_ && offset <= window_end &&
      capacity < kMaxWindow) {
    // Reading on through the file: take more of it at a time.
    capacity = std::min(capacity * 2, kMaxWindow);
  }
  capacity = std::max(capacity, n);
  if (capacity != window_capacity_) {
    window_.reset(new char[capacity]);
    window_capacity_ = capacity;
  }
  window_size_ = 0;
  window_at_end_ = false;
  if (!file_.ReadAt(offset, window_.get(), window_capacity_, &got)) return ReadResult::kFailed;
  window_start_ = offset;
  window_size_ = got;
  window_at_end_ = got < window_capacity_;
  *bytes = window_.get();
  return got >= n ? ReadResult::kWhole : ReadResult::kShort;
}

bool TDBase3Plus::WriteBytes(std::uint64_t offset, const char* data, std::size_t n) {
  if (offset + n > kAddressLimit) return false;
  if (n == 0) return true;
  if (!file_.WriteAt(offset, data, n)) {
    // Part of it may have reached the file: read afresh next time.
    window_size_ = 0;
    window_at_end_ = false;
    return false;
  }
  const std::uint64_t window_end = window_start_ + window_size_;
  const std::uint64_t end = offset + n;
  if (window_at_end_ && offset >= window_start_ && offset <= window_end &&
      end - window_start_ <= window_capacity_) {
    // Extends the file right where the window ends (or lies inside it):
    // the window still ends with the file.
    std::memcpy(window_.get() + (offset - window_start_), data, n);
    window_size_ = std::max<std::uint64_t>(window_size_, end - window_start_);
    return true;
  }
  const std::uint64_t lo = std::max(offset, window_start_);
  const std::uint64_t hi = std::min(end, window_end);
  if (lo < hi) std::memcpy(window_.get() + (lo - window_start_), data + (lo - offset), hi - lo);
  return true;
}

std::int32_t TDBase3Plus::LastWholeRecordBefore(std::int32_t n) {
  const std::optional<std::uint64_t> size = file_.Size();
  const std::uint64_t record_length = RecordLength();
  if (!size || record_length == 0) return n - 1;
  const std::uint64_t limit = std::min<std::uint64_t>(*size, kAddressLimit);
  const std::uint64_t first_end = HeaderLength() + record_length;
  if (limit < first_end) return 0;
  const std::uint64_t last = (limit - first_end) / record_length;
  return static_cast<std::int32_t>(
      std::min<std::uint64_t>(last, static_cast<std::uint64_t>(n - 1)));
}

void TDBase3Plus::GoToRecord(std::int32_t n) {
  if (!open_ || n < 0 || n > RecordCount()) {
    eof_ = true;
    return;
  }
  rec_no_ = n;
  const char* bytes = nullptr;
  const ReadResult result = ReadBytes(RecordOffset(n), record_.size(), &bytes);
  if (result == ReadResult::kWhole && !record_.empty())
    std::memcpy(record_.data(), bytes, record_.size());
  if (result == ReadResult::kShort) {
    // The table has ended: go back to the nearest whole record, if any.
    if (n > 0) GoToRecord(LastWholeRecordBefore(n));
    eof_ = true;
    return;
  }
  // A failed read leaves the buffer as it was; it is split all the same.
  SplitRecord();
}

void TDBase3Plus::SplitRecord() {
  // The field values are taken from the buffer when first asked for (or
  // before the buffer changes); the flag at once.
  pending_ = field_count_ == 0 ? 0 : (std::uint32_t{1} << field_count_) - 1;
  if (record_.empty()) {
    values_[0].clear();
    deleted_ = true;
  } else {
    values_[0].assign(1, record_[0]);
    deleted_ = record_[0] != ' ';
  }
}

void TDBase3Plus::SplitField(int j, std::string* value) const {
  const FieldLayout& field = layout_[j];
  const char* bytes = record_.data() + field.start;
  value->assign(bytes, TrimmedLength(bytes, field.length));
}

void TDBase3Plus::SettleValues() {
  for (int j = 0; j < field_count_; ++j)
    if (pending_ & (std::uint32_t{1} << j)) SplitField(j, &values_[j + 1]);
  pending_ = 0;
}

void TDBase3Plus::First() { GoToRecord(0); }

void TDBase3Plus::Next() {
  // RecNo + 1 with the wrap of 32-bit arithmetic.
  GoToRecord(static_cast<std::int32_t>(static_cast<std::uint32_t>(rec_no_) + 1u));
}

int TDBase3Plus::FieldNumber(std::string_view name) const {
  for (int j = 0; j < field_count_; ++j) {
    const FieldLayout& field = layout_[j];
    if (field.name_length != name.size()) continue;
    std::size_t i = 0;
    while (i < name.size() && field.upper_name[i] == UpperChar(name[i])) ++i;
    if (i == name.size()) return j + 1;
  }
  return 0;
}

TDBase3Plus::Place TDBase3Plus::FieldPlace(int j) const {
  if (j < 1 || j > field_count_) return {};
  return {layout_[j - 1].start, layout_[j - 1].length};
}

std::string_view TDBase3Plus::FieldView(int j) const {
  if (j < 1 || j > field_count_) return {};
  const int k = j - 1;
  if (!(pending_ & (std::uint32_t{1} << k))) return values_[j];
  const FieldLayout& field = layout_[k];
  const char* bytes = record_.data() + field.start;
  return std::string_view(bytes, TrimmedLength(bytes, field.length));
}

void TDBase3Plus::FieldValue(std::string_view name, std::string* value) const {
  const int j = FieldNumber(name);
  if (j == 0) return;
  if (pending_ & (std::uint32_t{1} << (j - 1)))
    SplitField(j - 1, value);
  else
    *value = values_[j];
}

bool TDBase3Plus::WriteRecord(std::int32_t n) {
  if (!open_ || n < 0) return false;
  const std::uint64_t offset = RecordOffset(n);
  if (offset + record_.size() > kAddressLimit) return false;
  rec_no_ = n;
  SettleValues();
  if (!record_.empty()) record_[0] = ' ';
  for (int j = 0; j < field_count_; ++j) {
    const FieldLayout& field = layout_[j];
    if (field.length == 0) continue;
    const std::string& value = values_[j + 1];
    // Left-aligned, padded with blanks, cut to the field.
    const std::size_t copied = std::min(value.size(), field.length);
    char* dest = record_.data() + field.start;
    std::memcpy(dest, value.data(), copied);
    std::memset(dest + copied, ' ', field.length - copied);
  }
  return WriteBytes(offset, record_.data(), record_.size());
}

bool TDBase3Plus::Append() {
  if (!open_) return false;
  const std::int32_t count = RecordCount();
  if (count < 0 || count == std::numeric_limits<std::int32_t>::max()) return false;
  if (RecordOffset(count) + record_.size() > kAddressLimit) return false;
  for (int j = 1; j <= field_count_; ++j) values_[j].clear();
  pending_ = 0;
  SetRecordCount(count + 1);
  bool written = WriteBytes(0, reinterpret_cast<const char*>(header_.data()), header_.size());
  written = WriteRecord(count) && written;
  GoToRecord(count);
  return written;
}

std::size_t TrimmedLength(const char* text, std::size_t length) {
  constexpr std::uint64_t kBlanks = 0x2020202020202020ull;
  while (length >= 8) {
    std::uint64_t word;
    std::memcpy(&word, text + length - 8, 8);
    if (word != kBlanks) break;
    length -= 8;
  }
  while (length > 0 && text[length - 1] == ' ') --length;
  return length;
}

}  // namespace veilbox
