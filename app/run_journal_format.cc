// The journal's bytes:
//
//   Veilbox run journal 3
//   pid <decimal>
//   start <decimal>
//   ok-message-suppressed <settings file>      (only when it was)
//   new <name>        (one per plain file, by what stood at its name:
//   leftover <name>    nothing, a hidden leftover, someone's entry set
//   set-aside <suffix> <stamp> <name>    aside under name + ".~vb" +
//                      suffix (4 or 16 hex digits); "plain" as version 1
//                      wrote it)
//   plain-file <stamp> <name>    (the stamp of a plain file named above,
//                      once it is written)
//   end <16 hex digits: FNV-1a 64 of every byte before this line>
//
// A stamp is "-" (none) or five decimals joined by ":": volume, file ID,
// size, last write, creation (platform::EntryStamp).
//
// Versions 1 and 2 are read too: version 1 wrote only "plain" lines,
// version 2 "aside <name>" for an entry set aside under LegacyAsideName.
//
// Every line ends with a line feed. In names, a control byte, DEL and "%"
// stand as "%" and two upper-case hex digits.
#include <algorithm>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>

#include "app/run_journal.h"
#include "sysutil/text_utils.h"

namespace veilbox {
namespace {

constexpr std::string_view kFirstLine = "Veilbox run journal 3";
constexpr std::string_view kFirstLineV2 = "Veilbox run journal 2";
constexpr std::string_view kFirstLineV1 = "Veilbox run journal 1";
constexpr std::size_t kEndLineSize = 4 + 16 + 1;  // "end " + 16 hex digits + "\n"

struct KindWord {
  PlainFileKind kind;
  std::string_view word;
};
constexpr KindWord kKindWords[] = {{PlainFileKind::kNew, "new"},
                                   {PlainFileKind::kLeftover, "leftover"},
                                   {PlainFileKind::kHiddenOnly, "plain"}};

std::string_view WordOf(PlainFileKind kind) {
  for (const KindWord& k : kKindWords)
    if (k.kind == kind) return k.word;
  return "new";
}

constexpr std::uint64_t kFnvStart = 0xcbf29ce484222325ull;

// FNV-1a 64 of bytes, going on from hash (the hash of what came before).
std::uint64_t Fnv1a64(std::string_view bytes, std::uint64_t hash = kFnvStart) {
  for (unsigned char c : bytes) {
    hash ^= c;
    hash *= 0x100000001b3ull;
  }
  return hash;
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

constexpr std::string_view kAsideMark = ".~vb";

std::string LegacyAsideName(const std::string& name, const platform::ProcessIdentity& writer) {
  const std::string id = std::to_string(writer.pid) + ":" + std::to_string(writer.start_time);
  return name + std::string(kAsideMark) + Hex16(Fnv1a64(id)).substr(12);
}

std::string SetAsideName(const std::string& name, std::uint64_t suffix) {
  return name + std::string(kAsideMark) + Hex16(suffix);
}

std::uint64_t RandomAsideSuffix() {
  std::random_device random;
  return (static_cast<std::uint64_t>(random()) << 32) ^ random();
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

std::string FormatStamp(const std::optional<platform::EntryStamp>& stamp) {
  if (!stamp) return "-";
  return std::to_string(stamp->identity.volume) + ":" + std::to_string(stamp->identity.file) + ":" +
         std::to_string(stamp->size) + ":" + std::to_string(stamp->written) + ":" +
         std::to_string(stamp->created);
}

bool ParseStamp(std::string_view text, std::optional<platform::EntryStamp>* stamp) {
  if (text == "-") {
    stamp->reset();
    return true;
  }
  std::uint64_t fields[5];
  for (std::uint64_t& field : fields) {
    const std::size_t colon = text.find(':');
    const bool last = &field == &fields[4];
    if ((colon == std::string_view::npos) != last) return false;
    if (!ParseDecimal(text.substr(0, colon), ~0ull, &field)) return false;
    text = last ? std::string_view() : text.substr(colon + 1);
  }
  *stamp = platform::EntryStamp{{fields[0], fields[1]}, fields[2], fields[3], fields[4]};
  return true;
}

// The next blank-separated word of text, and text after the blank.
bool NextWord(std::string_view* text, std::string_view* word) {
  const std::size_t blank = text->find(' ');
  if (blank == std::string_view::npos || blank == 0) return false;
  *word = text->substr(0, blank);
  *text = text->substr(blank + 1);
  return true;
}

// The suffix after the name's ".~vb": 4 hex digits (an earlier version)
// or 16.
bool ValidSuffix(std::string_view suffix) {
  if (suffix.size() != 4 && suffix.size() != 16) return false;
  for (char c : suffix)
    if (HexValue(c) < 0) return false;
  return true;
}

// "set-aside <suffix> <stamp> <name>"
bool ParseSetAside(std::string_view value, PlainFileEntry* entry) {
  std::string_view suffix, stamp;
  if (!NextWord(&value, &suffix) || !ValidSuffix(suffix) || !NextWord(&value, &stamp) ||
      !ParseStamp(stamp, &entry->aside_stamp) || !Unescape(value, &entry->name))
    return false;
  entry->kind = PlainFileKind::kAside;
  entry->aside = entry->name + std::string(kAsideMark) + std::string(suffix);
  return true;
}

// The entries that a "plain-file" line may stamp: by name, in the order
// they were recorded, those not stamped yet. A line stamps the first
// entry of its name that has no stamp, found without going through the
// whole list for each line.
class StampTargets {
 public:
  // "plain-file <stamp> <name>": the stamp of an entry recorded above.
  bool Parse(std::string_view value, std::vector<PlainFileEntry>* entries) {
    std::string_view stamp;
    std::string name;
    std::optional<platform::EntryStamp> parsed;
    if (!NextWord(&value, &stamp) || !ParseStamp(stamp, &parsed) || !parsed ||
        !Unescape(value, &name))
      return false;
    for (; noted_ < entries->size(); ++noted_)
      if (!(*entries)[noted_].plain_stamp) unstamped_[(*entries)[noted_].name].push_back(noted_);
    const auto it = unstamped_.find(name);
    if (it == unstamped_.end() || it->second.empty()) return false;
    (*entries)[it->second.front()].plain_stamp = parsed;
    it->second.pop_front();
    return true;
  }

 private:
  std::size_t noted_ = 0;
  std::unordered_map<std::string, std::deque<std::size_t>> unstamped_;
};

}  // namespace

std::string FormatRunJournal(const RunJournalRecord& record) {
  std::string text;
  FormatRunJournal(record, record.plain_files, [&](std::string_view piece) {
    text += piece;
    return true;
  });
  return text;
}

bool FormatRunJournal(const RunJournalRecord& record,
                      const std::vector<PlainFileEntry>& plain_files,
                      const std::function<bool(std::string_view piece)>& append) {
  // The checksum runs along with the pieces, so that the text of many
  // thousand names is never held whole.
  std::uint64_t hash = kFnvStart;
  const auto put = [&](std::string_view piece) {
    hash = Fnv1a64(piece, hash);
    return append(piece);
  };
  std::string line(kFirstLine);
  line += "\npid " + std::to_string(record.writer.pid) + "\n";
  line += "start " + std::to_string(record.writer.start_time) + "\n";
  if (record.ok_message_suppressed)
    line += "ok-message-suppressed " + Escape(record.settings_file) + "\n";
  if (!put(line)) return false;
  for (const PlainFileEntry& entry : plain_files) {
    // Appended piece by piece: GCC 12 warns wrongly on " " + a text.
    line.clear();
    if (entry.kind == PlainFileKind::kAside) {
      line += "set-aside ";
      line += std::string_view(entry.aside)
                  .substr(std::min(entry.aside.size(), entry.name.size() + kAsideMark.size()));
      line += ' ';
      line += FormatStamp(entry.aside_stamp);
    } else {
      line += WordOf(entry.kind);
    }
    line += ' ';
    line += Escape(entry.name);
    line += '\n';
    if (!put(line)) return false;
  }
  for (const PlainFileEntry& entry : plain_files) {
    if (!entry.plain_stamp) continue;
    line.clear();
    line += "plain-file ";
    line += FormatStamp(entry.plain_stamp);
    line += ' ';
    line += Escape(entry.name);
    line += '\n';
    if (!put(line)) return false;
  }
  return append("end " + Hex16(hash) + "\n");
}

bool ParseRunJournal(std::string_view bytes, RunJournalRecord* record, std::string* err) {
  // The checksum line closes the file; everything before it is covered.
  if (bytes.size() < kEndLineSize || bytes.back() != '\n') {
    *err = "truncated";
    return false;
  }
  std::string_view body = bytes.substr(0, bytes.size() - kEndLineSize);
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
  StampTargets stamp_targets;
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
      ok = line == kFirstLine || line == kFirstLineV2 || line == kFirstLineV1;
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
    } else if (Field(line, "set-aside", &value)) {
      PlainFileEntry entry;
      ok = ParseSetAside(value, &entry);
      result.plain_files.push_back(std::move(entry));
    } else if (Field(line, "aside", &value)) {
      // Version 2: set aside under the writer's own name, with no stamp.
      ok = Unescape(value, &text);
      result.plain_files.push_back(
          {text, PlainFileKind::kAside, LegacyAsideName(text, result.writer)});
    } else if (Field(line, "plain-file", &value)) {
      ok = stamp_targets.Parse(value, &result.plain_files);
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
