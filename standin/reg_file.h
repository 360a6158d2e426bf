// The registry file of the POSIX stand-in, in the text format that
// regedit exports and imports: a header line, [ROOT\Key\Sub] sections and
// "Name"=... value lines. Pure text work, no files: the caller reads and
// writes the bytes.
//
// Values hold the bytes an ANSI caller sees: string types are 8-bit texts.
// Their hex(n) forms are read as regedit reads them: hex(1) is UTF-16LE,
// hex(2) and hex(7) are UTF-16LE in a UTF-16 file and 8-bit text in an
// 8-bit one; UTF-16 is converted both ways through code page 1252.
//
// The file is edited, not rewritten: a file read as UTF-16 is written as
// UTF-16, every key line and value line that was not changed is written
// back exactly as it was read (characters outside code page 1252
// included), and a line that cannot be read is skipped, as regedit skips
// it, and kept in the file (except a key line that cannot be read and the
// lines under it, which belong to no key).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "standin/reg_types.h"

namespace veilbox::standin {

struct RegFileValue {
  std::string name;  // empty for the key's default value
  std::uint32_t type = kRegNone;
  std::string data;  // exactly the stored bytes
  // The value's line(s) as read, in the file's encoding; empty once the
  // value is set anew.
  std::string raw;
  bool operator==(const RegFileValue&) const = default;
};

struct RegFileKey {
  // Full path with the root's long name first, e.g.
  // HKEY_CURRENT_USER\Software\Talvoren; names as first created.
  std::string path;
  std::vector<RegFileValue> values;
  std::string raw;                  // the key's line as read, in the file's encoding
  std::vector<std::string> unread;  // lines in its section that could not be read, as read
  bool operator==(const RegFileKey&) const = default;

  // The value of that name, compared without regard to case, or null.
  RegFileValue* FindValue(std::string_view name);
  const RegFileValue* FindValue(std::string_view name) const;
  // Stores a value; an existing one of that name keeps its name's case.
  void SetValue(std::string_view name, std::uint32_t type, std::string_view data);
  bool DeleteValue(std::string_view name);
};

struct RegFile {
  std::vector<RegFileKey> keys;     // in file order
  bool utf16 = false;               // read from, and written as, UTF-16LE
  std::vector<std::string> unread;  // unreadable lines before the first key, as read
  bool operator==(const RegFile&) const = default;

  RegFileKey* FindKey(std::string_view path);
  const RegFileKey* FindKey(std::string_view path) const;
  // True when the key has its own section or a key below it has one.
  bool KeyExists(std::string_view path) const;
  // The path as the existing key is spelled; the path itself when the key
  // does not exist.
  std::string Spelling(std::string_view path) const;
  // The key's section, created with every missing level above it.
  RegFileKey& AddKey(std::string_view path);
  // Removes the key and everything below it.
  void DeleteKey(std::string_view path);
};

// HKEY_CURRENT_USER and so on for the roots the file holds; empty for any
// other handle.
std::string_view RegRootName(KeyRoot root);

// Parses a whole file (8-bit, or UTF-16LE with its byte order mark).
// Returns false with a reason in *err when the bytes are not such a file
// (no header, an odd number of bytes in UTF-16); a line that cannot be
// read is skipped (and kept in `unread`).
bool ParseRegFile(std::string_view bytes, RegFile* file, std::string* err);

// The file as "Windows Registry Editor Version 5.00" text with CRLF lines,
// 8-bit or UTF-16LE with its byte order mark as file.utf16 says.
std::string FormatRegFile(const RegFile& file);

}  // namespace veilbox::standin
