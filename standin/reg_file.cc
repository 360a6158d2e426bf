#include "standin/reg_file.h"

#include <algorithm>
#include <array>

#include "text/ansi_case.h"

namespace veilbox::standin {
namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

struct RootEntry {
  KeyRoot root;
  std::string_view name;
};
constexpr std::array<RootEntry, 5> kRoots = {{
    {kHkeyClassesRoot, "HKEY_CLASSES_ROOT"},
    {kHkeyCurrentUser, "HKEY_CURRENT_USER"},
    {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE"},
    {kHkeyUsers, "HKEY_USERS"},
    {kHkeyCurrentConfig, "HKEY_CURRENT_CONFIG"},
}};

// Unicode code points of the bytes 0x80 to 0x9F in code page 1252; the
// five undefined bytes map to themselves.
constexpr std::array<std::uint16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::uint16_t AnsiToUnit(unsigned char c) {
  return c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c;
}

char UnitToAnsi(std::uint16_t u) {
  if (u < 0x80 || (u >= 0xA0 && u < 0x100)) return static_cast<char>(u);
  for (std::size_t i = 0; i < kCp1252High.size(); ++i)
    if (kCp1252High[i] == u) return static_cast<char>(0x80 + i);
  return '?';
}

// UTF-16LE bytes to 8-bit; a trailing odd byte is dropped.
std::string Utf16ToAnsi(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto lo = static_cast<unsigned char>(bytes[i]);
    const auto hi = static_cast<unsigned char>(bytes[i + 1]);
    out += UnitToAnsi(static_cast<std::uint16_t>(lo | (hi << 8)));
  }
  return out;
}

std::string AnsiToUtf16(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    const std::uint16_t u = AnsiToUnit(static_cast<unsigned char>(c));
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
  return out;
}

// Whether the bytes of a hex(n) list are UTF-16LE, as regedit imports
// them: always for REG_SZ; for REG_EXPAND_SZ and REG_MULTI_SZ only in a
// UTF-16 file, while an 8-bit file holds them as 8-bit text.
bool IsUtf16Hex(std::uint32_t type, bool utf16_file) {
  return type == kRegSz || (utf16_file && (type == kRegExpandSz || type == kRegMultiSz));
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// 1 to 8 hex digits, nothing else.
bool ParseHexNumber(std::string_view s, std::uint32_t* value) {
  if (s.empty() || s.size() > 8) return false;
  std::uint32_t v = 0;
  for (char c : s) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    v = (v << 4) | static_cast<std::uint32_t>(d);
  }
  *value = v;
  return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && text::AnsiSameText(s.substr(0, prefix.size()), prefix);
}

// Length of the text before the first backslash (the root component).
std::string_view FirstComponent(std::string_view path) {
  return path.substr(0, std::min(path.find('\\'), path.size()));
}

// True when `path` is `ancestor` or lies below it.
bool IsAtOrBelow(std::string_view path, std::string_view ancestor) {
  if (path.size() < ancestor.size() ||
      !text::AnsiSameText(path.substr(0, ancestor.size()), ancestor))
    return false;
  return path.size() == ancestor.size() || path[ancestor.size()] == '\\';
}

class Parser {
 public:
  // text: the file as 8-bit text; source: the bytes it was decoded from
  // (after the byte order mark), two for each character of text in a
  // UTF-16 file.
  Parser(std::string_view text, std::string_view source, bool utf16_file, RegFile* file,
         std::string* err)
      : text_(text), source_(source), file_(file), err_(err), utf16_file_(utf16_file) {}

  bool Run() {
    std::string_view line;
    bool have_header = false;
    while (NextLine(&line)) {
      const std::size_t start = line_start_;
      line = TrimLeft(line);
      if (!have_header) {
        if (line.empty()) continue;
        line = TrimRight(line);
        if (line != kHeader5 && line != kHeader4) {
          return Fail("no registry file header");
        }
        have_header = true;
        continue;
      }
      if (line.empty()) continue;
      bool read = false;
      const bool value_line = (line.front() == '"' || line.front() == '@') && !orphan_;
      if (line.front() == ';' || line.front() == '#') {
        read = false;  // a comment: kept like a line that cannot be read
      } else if (line.front() == '[') {
        read = Section(TrimRight(line), start);
      } else if (value_line) {
        read = Value(line, start);
      }
      if (!read) Keep(start, value_line);
    }
    if (!have_header) return Fail("no registry file header");
    return true;
  }

 private:
  bool Fail(const std::string& why) {
    if (err_) *err_ = why;
    return false;
  }

  bool NextLine(std::string_view* line) {
    if (pos_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    *line = text_.substr(pos_, end - pos_);
    if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
    line_start_ = pos_;
    line_end_ = pos_ + line->size();
    pos_ = end + 1;
    return true;
  }

  // Characters from to end of the text, as the file holds them.
  std::string RawRange(std::size_t from, std::size_t end) const {
    if (utf16_file_) return std::string(source_.substr(2 * from, 2 * (end - from)));
    return std::string(text_.substr(from, end - from));
  }
  // The lines from start to the end of the last one read, as the file
  // holds them.
  std::string Raw(std::size_t start) const { return RawRange(start, line_end_); }

  // True when the last line read asks for a continuation: written back
  // as it was, it would swallow the line written after it.
  bool EndsContinued() const {
    const std::string_view last = TrimRight(text_.substr(line_start_, line_end_ - line_start_));
    return !last.empty() && last.back() == '\\';
  }

  // Keeps lines that were not read (from start to the last one read) where
  // they stand: in the current key's section, or before the first key.
  // Lines of a deleted key go with it, and so do a key line that cannot be
  // read with the lines up to the next key line (they belong to no key,
  // and written back after other lines of a key they would change how
  // those read), and a value line that asks for a continuation at the end
  // of the file (read again, it would take the line written after it).
  void Keep(std::size_t start, bool value_line) {
    if (skipping_ || orphan_ || (value_line && EndsContinued())) return;
    std::vector<std::string>& unread =
        current_.empty() ? file_->unread : file_->FindKey(current_)->unread;
    // One entry a line: read again after other lines of the section, each
    // stands on its own.
    while (start <= line_end_) {
      std::size_t end = text_.find('\n', start);
      if (end == std::string_view::npos || end > line_end_) end = line_end_;
      std::size_t content_end = end;
      if (end < line_end_ && content_end > start && text_[content_end - 1] == '\r') --content_end;
      unread.push_back(RawRange(start, content_end));
      start = end + 1;
    }
  }

  // Checks the path and gives it back with the root's canonical name.
  bool CanonicalPath(std::string_view path, std::string* out) {
    const std::string_view root = FirstComponent(path);
    for (const RootEntry& entry : kRoots) {
      if (!text::AnsiSameText(root, entry.name)) continue;
      std::string_view rest = path.substr(root.size());
      // Every component below the root must have a name.
      for (std::size_t i = 0; i < rest.size(); ++i)
        if (rest[i] == '\\' && (i + 1 == rest.size() || rest[i + 1] == '\\')) return false;
      *out = std::string(entry.name) + std::string(rest);
      return true;
    }
    return false;
  }

  // A key line. One that cannot be read is skipped, and so are the value
  // lines after it up to the next key line: they belong to no key.
  bool Section(std::string_view line, std::size_t start) {
    std::string path;
    std::string_view inner;
    bool remove = false;
    bool ok = line.size() >= 2 && line.back() == ']';
    if (ok) {
      inner = line.substr(1, line.size() - 2);
      remove = !inner.empty() && inner.front() == '-';
      if (remove) inner.remove_prefix(1);
      ok = CanonicalPath(inner, &path);
    }
    if (!ok) {
      orphan_ = true;
      return false;
    }
    orphan_ = false;
    if (remove) {
      file_->DeleteKey(path);
      current_.clear();
      skipping_ = true;
    } else {
      // Only the key named; the levels above exist through it.
      if (!file_->FindKey(path)) file_->keys.push_back({path, {}, Raw(start), {}});
      current_ = path;
      skipping_ = false;
    }
    return true;
  }

  // A quoted text starting at s[0] == '"'; moves s past the closing quote.
  bool Quoted(std::string_view* s, std::string* out) {
    std::size_t i = 1;
    out->clear();
    while (i < s->size()) {
      const char c = (*s)[i];
      if (c == '"') {
        s->remove_prefix(i + 1);
        return true;
      }
      if (c == '\\' && i + 1 < s->size()) {
        const char e = (*s)[i + 1];
        switch (e) {
          case '\\':
            *out += '\\';
            break;
          case '"':
            *out += '"';
            break;
          case 'n':
            *out += '\n';
            break;
          case 'r':
            *out += '\r';
            break;
          case '0':
            *out += '\0';
            break;
          default:
            *out += '\\';
            *out += e;
            break;
        }
        i += 2;
        continue;
      }
      *out += c;
      ++i;
    }
    return false;
  }

  // Comma-separated bytes, possibly continued on further lines after a
  // trailing backslash.
  bool HexList(std::string_view first, std::string* out) {
    std::string joined;
    std::string_view part = TrimRight(first);
    while (!part.empty() && part.back() == '\\') {
      joined.append(part.substr(0, part.size() - 1));
      std::string_view next;
      if (!NextLine(&next)) {
        part = {};
        break;
      }
      part = TrimRight(TrimLeft(next));
    }
    joined.append(part);
    out->clear();
    std::string_view rest = joined;
    while (true) {
      rest = TrimLeft(rest);
      if (rest.empty()) return true;
      std::size_t n = 0;
      int byte = 0;
      while (n < rest.size() && n < 2 && HexDigit(rest[n]) >= 0)
        byte = byte * 16 + HexDigit(rest[n++]);
      if (n == 0) return false;
      *out += static_cast<char>(byte);
      rest = TrimLeft(rest.substr(n));
      if (rest.empty()) return true;
      if (rest.front() != ',') return false;
      rest.remove_prefix(1);
    }
  }

  // A value line (with its continuation lines); false when it cannot be
  // read.
  bool Value(std::string_view line, std::size_t start) {
    std::string name;
    if (line.front() == '@') {
      line.remove_prefix(1);
    } else if (!Quoted(&line, &name)) {
      return false;
    }
    line = TrimLeft(line);
    if (line.empty() || line.front() != '=') return false;
    line = TrimLeft(line.substr(1));
    if (!skipping_ && current_.empty()) return false;  // outside a key

    std::uint32_t type = kRegSz;
    std::string data;
    bool remove = false;
    if (!line.empty() && line.front() == '"') {
      if (!Quoted(&line, &data)) return false;
      if (!TrimRight(line).empty()) return false;  // text after the value
      data += '\0';
    } else if (!line.empty() && line.front() == '-' && TrimRight(line.substr(1)).empty()) {
      remove = true;
    } else if (StartsWithNoCase(line, "dword:")) {
      std::uint32_t v = 0;
      if (!ParseHexNumber(TrimRight(line.substr(6)), &v)) return false;
      type = kRegDword;
      for (int i = 0; i < 4; ++i) data += static_cast<char>((v >> (8 * i)) & 0xFF);
    } else if (StartsWithNoCase(line, "hex")) {
      line.remove_prefix(3);
      type = kRegBinary;
      if (!line.empty() && line.front() == '(') {
        const std::size_t close = line.find(')');
        if (close == std::string_view::npos || !ParseHexNumber(line.substr(1, close - 1), &type))
          return false;
        line.remove_prefix(close + 1);
      }
      if (line.empty() || line.front() != ':') return false;
      std::string bytes;
      if (!HexList(line.substr(1), &bytes)) return false;
      data = IsUtf16Hex(type, utf16_file_) ? Utf16ToAnsi(bytes) : bytes;
    } else {
      return false;
    }
    if (skipping_) return true;  // values of a deleted key are ignored
    RegFileKey* key = file_->FindKey(current_);
    if (remove) {
      key->DeleteValue(name);
      return true;
    }
    const RegFileValue* before = key->FindValue(name);
    const bool own_spelling = !before || before->name == name;
    key->SetValue(name, type, data);
    // Written back as read, unless the value keeps an earlier spelling of
    // its name.
    if (own_spelling && !EndsContinued()) key->FindValue(name)->raw = Raw(start);
    return true;
  }

  std::string_view text_;
  std::string_view source_;
  RegFile* file_;
  std::string* err_;
  std::size_t pos_ = 0;
  std::size_t line_start_ = 0;  // the last line read, without its line end
  std::size_t line_end_ = 0;
  bool utf16_file_;
  bool skipping_ = false;  // in the section of a deleted key
  bool orphan_ = false;    // after a key line that could not be read
  std::string current_;
};

void AppendEscaped(std::string* out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '\\':
        *out += "\\\\";
        break;
      case '"':
        *out += "\\\"";
        break;
      case '\n':
        *out += "\\n";
        break;
      case '\r':
        *out += "\\r";
        break;
      case '\0':
        *out += "\\0";
        break;
      default:
        *out += c;
        break;
    }
  }
}

void AppendHex(std::string* out, std::size_t prefix_len, std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::size_t column = prefix_len;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    *out += kDigits[b >> 4];
    *out += kDigits[b & 15];
    column += 2;
    if (i + 1 < bytes.size()) {
      *out += ',';
      ++column;
      if (column > 76) {
        *out += "\\\r\n  ";
        column = 2;
      }
    }
  }
}

// A REG_SZ that the quoted form holds exactly: one closing zero byte and
// no line breaks or other zero bytes.
bool FitsQuoted(const RegFileValue& v) {
  if (v.type != kRegSz || v.data.empty() || v.data.back() != '\0') return false;
  const std::string_view text(v.data.data(), v.data.size() - 1);
  return text.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

}  // namespace

RegFileValue* RegFileKey::FindValue(std::string_view name) {
  for (RegFileValue& v : values)
    if (text::AnsiSameText(v.name, name)) return &v;
  return nullptr;
}

const RegFileValue* RegFileKey::FindValue(std::string_view name) const {
  return const_cast<RegFileKey*>(this)->FindValue(name);
}

void RegFileKey::SetValue(std::string_view name, std::uint32_t type, std::string_view data) {
  RegFileValue* v = FindValue(name);
  if (!v) {
    values.push_back({std::string(name), type, {}, {}});
    v = &values.back();
  }
  v->type = type;
  v->data.assign(data);
  v->raw.clear();
}

bool RegFileKey::DeleteValue(std::string_view name) {
  auto it = std::find_if(values.begin(), values.end(),
                         [&](const RegFileValue& v) { return text::AnsiSameText(v.name, name); });
  if (it == values.end()) return false;
  values.erase(it);
  return true;
}

RegFileKey* RegFile::FindKey(std::string_view path) {
  for (RegFileKey& k : keys)
    if (text::AnsiSameText(k.path, path)) return &k;
  return nullptr;
}

const RegFileKey* RegFile::FindKey(std::string_view path) const {
  return const_cast<RegFile*>(this)->FindKey(path);
}

bool RegFile::KeyExists(std::string_view path) const {
  return std::any_of(keys.begin(), keys.end(),
                     [&](const RegFileKey& k) { return IsAtOrBelow(k.path, path); });
}

std::string RegFile::Spelling(std::string_view path) const {
  for (const RegFileKey& k : keys)
    if (IsAtOrBelow(k.path, path)) return k.path.substr(0, path.size());
  return std::string(path);
}

RegFileKey& RegFile::AddKey(std::string_view path) {
  // Each level keeps the name it was first created with, which may come
  // from a deeper key's section.
  std::string built;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = std::min(path.find('\\', start), path.size());
    const std::string_view part = path.substr(start, end - start);
    std::string candidate = built.empty() ? std::string(part) : built + "\\" + std::string(part);
    const RegFileKey* own = FindKey(candidate);
    if (own) {
      built = own->path;
    } else if (built.empty() && end != path.size()) {
      built = candidate;  // a root gets a section only when it holds values itself
    } else {
      // The case of the level as named by an existing deeper key.
      built = candidate;
      for (const RegFileKey& k : keys) {
        if (IsAtOrBelow(k.path, candidate)) {
          built = k.path.substr(0, candidate.size());
          break;
        }
      }
      keys.push_back({built, {}, {}, {}});
    }
    if (end == path.size()) break;
    start = end + 1;
  }
  return *FindKey(built);
}

void RegFile::DeleteKey(std::string_view path) {
  std::erase_if(keys, [&](const RegFileKey& k) { return IsAtOrBelow(k.path, path); });
}

std::string_view RegRootName(KeyRoot root) {
  for (const RootEntry& entry : kRoots)
    if (entry.root == root) return entry.name;
  return {};
}

bool ParseRegFile(std::string_view bytes, RegFile* file, std::string* err) {
  *file = RegFile{};
  std::string decoded;
  std::string_view source;
  bool utf16 = false;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    if (bytes.size() % 2 != 0) {
      if (err) *err = "odd length of a UTF-16 file";
      return false;
    }
    source = bytes.substr(2);
    decoded = Utf16ToAnsi(source);
    bytes = decoded;
    utf16 = true;
  } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    bytes.remove_prefix(3);
  }
  file->utf16 = utf16;
  Parser parser(bytes, utf16 ? source : bytes, utf16, file, err);
  if (parser.Run()) return true;
  *file = RegFile{};
  return false;
}

namespace {

// Builds the file's bytes: 8-bit text as it stands or converted to
// UTF-16LE, lines kept as read in the file's own encoding.
class RegFileWriter {
 public:
  explicit RegFileWriter(bool utf16) : utf16_(utf16) {
    if (utf16_) out_ = "\xFF\xFE";
  }
  void Text(std::string_view text) { out_ += utf16_ ? AnsiToUtf16(text) : std::string(text); }
  void Line(std::string_view text) {
    Text(text);
    Text("\r\n");
  }
  void RawLine(std::string_view raw) {
    out_ += raw;
    Text("\r\n");
  }
  std::string Take() { return std::move(out_); }

 private:
  bool utf16_;
  std::string out_;
};

std::string FormatValue(const RegFileValue& v, bool utf16_file) {
  std::string out;
  if (v.name.empty()) {
    out += '@';
  } else {
    out += '"';
    AppendEscaped(&out, v.name);
    out += '"';
  }
  out += '=';
  if (FitsQuoted(v)) {
    out += '"';
    AppendEscaped(&out, std::string_view(v.data.data(), v.data.size() - 1));
    out += '"';
  } else if (v.type == kRegDword && v.data.size() == 4) {
    std::uint32_t n = 0;
    for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[i]);
    char buf[16];
    static constexpr char kDigits[] = "0123456789abcdef";
    for (int i = 0; i < 8; ++i) buf[i] = kDigits[(n >> (28 - 4 * i)) & 15];
    out += "dword:";
    out.append(buf, 8);
  } else {
    if (v.type == kRegBinary) {
      out += "hex:";
    } else {
      static constexpr char kDigits[] = "0123456789abcdef";
      std::string type;
      for (std::uint32_t t = v.type; t != 0 || type.empty(); t >>= 4)
        type.insert(type.begin(), kDigits[t & 15]);
      out += "hex(" + type + "):";
    }
    AppendHex(&out, out.size(), IsUtf16Hex(v.type, utf16_file) ? AnsiToUtf16(v.data) : v.data);
  }
  return out;
}

}  // namespace

std::string FormatRegFile(const RegFile& file) {
  RegFileWriter out(file.utf16);
  out.Line(kHeader5);
  out.Line("");
  for (const std::string& raw : file.unread) out.RawLine(raw);
  if (!file.unread.empty()) out.Line("");
  for (const RegFileKey& key : file.keys) {
    if (!key.raw.empty())
      out.RawLine(key.raw);
    else
      out.Line("[" + key.path + "]");
    for (const RegFileValue& v : key.values) {
      if (!v.raw.empty())
        out.RawLine(v.raw);
      else
        out.Line(FormatValue(v, file.utf16));
    }
    for (const std::string& raw : key.unread) out.RawLine(raw);
    out.Line("");
  }
  return out.Take();
}

}  // namespace veilbox::standin
