// The journal's bytes:
//
//   Veilbox run journal 2
//   pid <decimal>
//   start <decimal>
//   ok-message-suppressed <settings file>      (only when it was)
//   new <name>        (one per plain file, by what stood at its name:
//   leftover <name>    nothing, a hidden leftover, someone's entry set
//   aside <name>       aside; "plain" as version 1 wrote it)
//   end <16 hex digits: FNV-1a 64 of every byte before this line>
//
// Version 1 journals are read too: only "plain" lines appear in them.
//
// Every line ends with a line feed. In names, a control byte, DEL and "%"
// stand as "%" and two upper-case hex digits.
#include "app/run_journal.h"

namespace veilbox {
namespace {

constexpr std::string_view kFirstLine = "Veilbox run journal 2";
constexpr std::string_view kFirstLineV1 = "Veilbox run journal 1";

struct KindWord {
  PlainFileKind kind;
  std::string_view word;
};
constexpr KindWord kKindWords[] = {{PlainFileKind::kNew, "new"},
                                   {PlainFileKind::kLeftover, "leftover"},
                                   {PlainFileKind::kAside, "aside"},
                                   {PlainFileKind::kHiddenOnly, "plain"}};

std::string_view WordOf(PlainFileKind kind) {
  for (const KindWord& k : kKindWords)
    if (k.kind == kind) return k.word;
  return "new";
}

std::uint64_t Fnv1a64(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::string Hex16(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4)
    text[static_cast<std::size_t>(i)] = kDigits[value & 15];
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Escape(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F || c == '%') {
      out += '%';
      out += Hex16(c).substr(14);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool Unescape(std::string_view text, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) return false;  // must have been escaped
    if (c != '%') {
      *out += static_cast<char>(c);
      continue;
    }
    if (text.size() - i < 3) return false;
    int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    *out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return !out->empty();
}

}  // namespace

std::string AsideName(const std::string& name, const platform::ProcessIdentity& writer) {
  const std::string id = std::to_string(writer.pid) + ":" + std::to_string(writer.start_time);
  return name + ".~vb" + Hex16(Fnv1a64(id)).substr(12);
}

namespace {

// A decimal number without sign or leading zeros (0 itself allowed) that
// fits below or at max.
bool ParseDecimal(std::string_view text, std::uint64_t max, std::uint64_t* value) {
  if (text.empty() || text.size() > 20 || (text.size() > 1 && text[0] == '0')) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (v > (max - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

// Splits "key value" at the first blank; false when there is none.
bool Field(std::string_view line, std::string_view key, std::string_view* value) {
  if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ' ')
    return false;
  *value = line.substr(key.size() + 1);
  return true;
}

}  // namespace

std::string FormatRunJournal(const RunJournalRecord& record) {
  std::string text(kFirstLine);
  text += "\npid " + std::to_string(record.writer.pid) + "\n";
  text += "start " + std::to_string(record.writer.start_time) + "\n";
  if (record.ok_message_suppressed)
    text += "ok-message-suppressed " + Escape(record.settings_file) + "\n";
  for (const PlainFileEntry& entry : record.plain_files) {
    // Appended piece by piece: GCC 12 warns wrongly on " " + a text.
    text += WordOf(entry.kind);
    text += ' ';
    text += Escape(entry.name);
    text += '\n';
  }
  text += "end " + Hex16(Fnv1a64(text)) + "\n";
  return text;
}

bool ParseRunJournal(std::string_view bytes, RunJournalRecord* record, std::string* err) {
  // The checksum line closes the file; everything before it is covered.
  constexpr std::size_t kEndLine = 4 + 16 + 1;  // "end " + digits + "\n"
  if (bytes.size() < kEndLine || bytes.back() != '\n') {
    *err = "truncated";
    return false;
  }
  std::string_view body = bytes.substr(0, bytes.size() - kEndLine);
  std::string_view end = bytes.substr(body.size());
  if (!body.empty() && body.back() != '\n') {
    *err = "truncated";
    return false;
  }
  if (end.substr(0, 4) != "end " || end.substr(4, 16) != Hex16(Fnv1a64(body))) {
    *err = "checksum mismatch";
    return false;
  }
  RunJournalRecord result;
  int line_number = 0;
  for (std::size_t pos = 0; pos < body.size(); ++line_number) {
    std::size_t eol = body.find('\n', pos);  // body ends with one, so found
    std::string_view line = body.substr(pos, eol - pos);
    pos = eol + 1;
    std::string_view value;
    std::uint64_t number = 0;
    std::string text;
    bool ok = false;
    if (line_number == 0) {
      ok = line == kFirstLine || line == kFirstLineV1;
    } else if (line_number == 1) {
      ok = Field(line, "pid", &value) && ParseDecimal(value, 0xFFFFFFFFull, &number);
      result.writer.pid = static_cast<std::uint32_t>(number);
    } else if (line_number == 2) {
      ok = Field(line, "start", &value) && ParseDecimal(value, ~0ull, &number);
      result.writer.start_time = number;
    } else if (Field(line, "ok-message-suppressed", &value)) {
      ok = line_number == 3 && Unescape(value, &text);
      result.ok_message_suppressed = true;
      result.settings_file = text;
    } else {
      for (const KindWord& k : kKindWords) {
        if (!Field(line, k.word, &value)) continue;
        ok = Unescape(value, &text);
        result.plain_files.push_back({text, k.kind});
        break;
      }
    }
    if (!ok) {
      *err = "bad line " + std::to_string(line_number + 1);
      return false;
    }
  }
  if (line_number < 3) {
    *err = "truncated";
    return false;
  }
  *record = std::move(result);
  return true;
}

}  // namespace veilbox
