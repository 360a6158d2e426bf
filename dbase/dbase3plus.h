// TDBase3Plus: reads a dBase III Plus table (.dbf) record by record and
// hands out the fields of the current record as texts, looked up by field
// name. It can also overwrite a record and append a blank one.
//
// Only the header, the field descriptors and the fixed-length records with
// their deletion flag are read; field types are ignored (every field is
// the text of its bytes, NUL bytes included, trailing blanks removed), no
// memo or index files, no locking. The file is opened as an existing file
// for reading and writing, shared with other processes for both.
//
// Reading goes through an in-memory window over the file, so a scan costs
// one system call per window, not per record. Writes made through this
// object update the window at once; changes made by other processes to
// bytes already in the window show after the window moves or at the next
// Open. A read that reaches beyond a window that ended at the end of the
// file always asks the file again, so records added since are found.
//
// Behaviour beyond the well-formed file, all without reading or writing
// outside the record:
// - More than 16 field descriptors: the first 16 are used, the rest are
//   ignored.
// - Fields that reach past the record length are cut at the end of the
//   record (a field that starts after it reads as empty and is not
//   written); a record length of 0 gives no flag byte, so field value 0 is
//   empty and the record counts as deleted.
// - Record offsets are taken in 64 bits; a record that would reach past
//   4 GiB (the limit of the format's 32-bit offsets) is treated as lying
//   beyond the end of the file.
// - Negative record numbers: GoToRecord treats them like numbers past the
//   record count (Eof set, nothing else changes); WriteRecord refuses them.
// - On a closed table GoToRecord, First and Next only set Eof; WriteRecord
//   and Append do nothing and return false.
// - A read that the end of the file cuts short leaves the record buffer
//   as it was (a later failed read splits that buffer again).
// - WriteRecord cuts a value longer than its field to the field length.
//   WriteRecord and Append return false when the write failed or was
//   refused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace veilbox {

class TDBase3Plus {
 public:
  static constexpr int kMaxFields = 16;
  static constexpr std::size_t kHeaderSize = 32;
  static constexpr std::size_t kDescriptorSize = 32;

  TDBase3Plus();
  // Closes the table if it is open.
  virtual ~TDBase3Plus();
  TDBase3Plus(const TDBase3Plus&) = delete;
  TDBase3Plus& operator=(const TDBase3Plus&) = delete;

  // Path of the table file. Setting it only stores the text: an open
  // table stays on its file, the next Open uses the new name.
  const std::string& FileName() const { return file_name_; }
  void SetFileName(std::string name) { file_name_ = std::move(name); }

  // The five overridable operations; the table uses them through these
  // virtual calls itself (Open, First, Next, Append, the end handling of
  // GoToRecord and the destructor).

  // Closes the file and releases the record buffer; nothing on a closed
  // table.
  virtual void Close();
  // Opens the table named by FileName (closing an open one first), reads
  // the header and the field descriptors and, when the table counts
  // records, makes record 0 current. Raises TableOpenError when the file
  // cannot be opened for reading and writing or holds less than a header;
  // the table is closed then.
  virtual void Open();
  // Writes the current field values as record n with a blank deletion
  // flag; the header is not changed.
  virtual bool WriteRecord(std::int32_t n);
  // Makes record n current. n may be the record count itself (the read one
  // past the last record); a number above it, or a read that the end of
  // the file cuts short, sets Eof. A short read goes back to the nearest
  // whole record before n first.
  virtual void GoToRecord(std::int32_t n);
  // Counts one more record in the header, writes the header and a blank
  // record at the end and makes that record current.
  virtual bool Append();

  void First();
  void Next();

  // Stores the value of the named field of the current record into
  // *value; the name is compared without regard to the case of a-z, up to
  // the first NUL of the stored name. Without such a field *value is left
  // as it was.
  void FieldValue(std::string_view name, std::string* value) const;

  // The number (1 to FieldCount) of the field that FieldValue finds by
  // name, or 0 when there is none.
  int FieldNumber(std::string_view name) const;
  // What FieldValue gives for field j (1 to FieldCount; anything else
  // gives an empty text), without a copy: for a scan over many records.
  // Valid until the next record is read or written.
  std::string_view FieldView(int j) const;

  // True once a read went past the last record; nothing clears it.
  bool Eof() const { return eof_; }
  // The current record's deletion flag is anything but a blank.
  bool Deleted() const { return deleted_; }
  std::int32_t RecNo() const { return rec_no_; }

  bool IsOpen() const { return open_; }
  int FieldCount() const { return field_count_; }
  // Name of field j (1 to FieldCount) up to its first NUL, as stored.
  std::string FieldName(int j) const;
  // The record count of the header as held (Append raises it).
  std::int32_t RecordCount() const;

  // Where the records lie, as read at Open, for a reader that reads the
  // file in place: record n (from 0) starts at FirstRecordOffset() +
  // n * RecordSize(), and field j (1 to FieldCount; anything else gives an
  // empty place) lies at FieldPlace(j) in it, cut to the record as
  // FieldView cuts it. The trailing blanks are the reader's to remove.
  struct Place {
    std::size_t start = 0;
    std::size_t length = 0;
  };
  std::uint64_t FirstRecordOffset() const { return HeaderLength(); }
  std::size_t RecordSize() const { return record_.size(); }
  Place FieldPlace(int j) const;

 private:
  enum class ReadResult { kWhole, kShort, kFailed };

  std::uint16_t HeaderLength() const;
  std::uint16_t RecordLength() const;
  void SetRecordCount(std::int32_t count);
  // File offset of record n (n >= 0), in 64 bits.
  std::uint64_t RecordOffset(std::int32_t n) const;
  // Points *bytes at the n bytes at offset, in the window or (past the end
  // of the file as the window saw it) in probe_; valid until the next
  // read. *bytes is only set for a whole read.
  ReadResult ReadBytes(std::uint64_t offset, std::size_t n, const char** bytes);
  bool WriteBytes(std::uint64_t offset, const char* data, std::size_t n);
  // The highest record below n that the file can still hold whole, or 0.
  std::int32_t LastWholeRecordBefore(std::int32_t n);
  void SplitRecord();
  // Field j (from 0) of the buffer, trailing blanks removed.
  void SplitField(int j, std::string* value) const;
  // Takes every value still pending from the buffer, before it changes.
  void SettleValues();

  std::string file_name_;
  bool open_ = false;
  platform::File file_;
  std::vector<char> record_;
  std::int32_t rec_no_ = 0;
  std::array<unsigned char, kHeaderSize> header_{};
  std::uint8_t field_count_ = 0;
  std::array<std::array<unsigned char, kDescriptorSize>, kMaxFields> descriptors_{};
  std::array<std::string, kMaxFields + 1> values_;
  bool deleted_ = false;
  bool eof_ = false;
  // Bit j: value j + 1 is still in the buffer and not yet in values_.
  std::uint32_t pending_ = 0;

  // Derived from the descriptors at Open: each field's upper-cased name
  // and its place in the record, cut to the record length.
  struct FieldLayout {
    char upper_name[16];
    std::size_t name_length = 0;
    std::size_t start = 0;
    std::size_t length = 0;    // bytes inside the record
    std::size_t declared = 0;  // field length from the descriptor
  };
  std::array<FieldLayout, kMaxFields> layout_{};

  // The window: bytes [window_start_, window_start_ + window_size_) of the
  // file; window_at_end_ when the read that filled it reached the end.
  std::unique_ptr<char[]> window_;
  std::size_t window_capacity_ = 0;
  std::uint64_t window_start_ = 0;
  std::size_t window_size_ = 0;
  bool window_at_end_ = false;
  std::vector<char> probe_;
};

// Length of a field's text without its trailing blanks, as the table pads
// it: what a field's value is.
std::size_t TrimmedLength(const char* text, std::size_t length);

}  // namespace veilbox
