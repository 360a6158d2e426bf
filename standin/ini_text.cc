#include "standin/ini_text.h"

#include <cstddef>
#include <vector>

namespace veilbox::standin {
namespace {

// One line of the text: [begin, end) is its content, [end, next) its line
// break.
struct Line {
  std::size_t begin;
  std::size_t end;
  std::size_t next;
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = begin;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    std::size_t next = end;
    if (next < text.size() && text[next] == '\r') ++next;
    if (next < text.size() && text[next] == '\n' && (next == end || text[next - 1] == '\r')) ++next;
    lines.push_back({begin, end, next});
    begin = next;
  }
  return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

enum class Kind { kEmpty, kComment, kSection, kKey };

struct Parsed {
  Kind kind;
  std::string_view name;   // section or key name, trimmed
  bool has_value = false;  // a key line with "="
  std::string_view value;  // trimmed
};

Parsed ParseLine(std::string_view content) {
  const std::string_view s = Trim(content);
  if (s.empty()) return {Kind::kEmpty, {}, false, {}};
  if (s.front() == ';') return {Kind::kComment, {}, false, {}};
  if (s.front() == '[') {
    std::string_view inner = s.substr(1);
    if (const std::size_t close = inner.rfind(']'); close != std::string_view::npos) {
      inner = inner.substr(0, close);
    }
    return {Kind::kSection, Trim(inner), false, {}};
  }
  const std::size_t eq = s.find('=');
  if (eq == std::string_view::npos) return {Kind::kKey, s, false, {}};
  return {Kind::kKey, Trim(s.substr(0, eq)), true, Trim(s.substr(eq + 1))};
}

std::string_view Unquote(std::string_view v) {
  if (v.size() > 1 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// Where a section and a key stand in the text.
struct Location {
  bool section_found = false;
  std::size_t section_line = 0;  // index of the "[section]" line
  std::size_t last_content = 0;  // last non-empty line of the section
  bool key_found = false;
  std::size_t key_line = 0;
};

Location Locate(std::string_view text, const std::vector<Line>& lines, std::string_view section,
                std::string_view key) {
  Location loc;
  const std::string_view want_section = Trim(section);
  const std::string_view want_key = Trim(key);
  bool inside = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Parsed p = ParseLine(text.substr(lines[i].begin, lines[i].end - lines[i].begin));
    if (p.kind == Kind::kSection) {
      if (inside) break;  // the first section of that name is the one
      if (SameName(p.name, want_section)) {
        inside = true;
        loc.section_found = true;
        loc.section_line = i;
        loc.last_content = i;
      }
      continue;
    }
    if (!inside) continue;
    if (p.kind != Kind::kEmpty) loc.last_content = i;
    if (p.kind == Kind::kKey && !loc.key_found && SameName(p.name, want_key)) {
      loc.key_found = true;
      loc.key_line = i;
    }
  }
  return loc;
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

bool IniFindValue(std::string_view text, std::string_view section, std::string_view key,
                  std::string* value) {
  const std::vector<Line> lines = SplitLines(text);
  const Location loc = Locate(text, lines, section, key);
  if (!loc.key_found) return false;
  const Line& line = lines[loc.key_line];
  const Parsed p = ParseLine(text.substr(line.begin, line.end - line.begin));
  if (!p.has_value) return false;
  *value = std::string(Unquote(p.value));
  return true;
}

bool IniSetValue(std::string_view text, std::string_view section, std::string_view key,
                 std::string_view value, std::string* result) {
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
  const std::vector<Line> lines = SplitLines(text);
  const Location loc = Locate(text, lines, section, key);
  std::string out;
  out.reserve(text.size() + section.size() + key.size() + value.size() + 8);
  if (loc.key_found) {
    const Line& line = lines[loc.key_line];
    const Parsed p = ParseLine(text.substr(line.begin, line.end - line.begin));
    out.append(text.substr(0, line.begin));
    out.append(p.name).append("=").append(value);
    out.append(text.substr(line.end));
  } else if (loc.section_found) {
    const Line& line = lines[loc.last_content];
    out.append(text.substr(0, line.end));
    // The section's last line keeps its own break; without one (the end of
    // the text) the new line gets a fresh one before it.
    if (line.next == line.end) {
      out.append("\r\n").append(Trim(key)).append("=").append(value).append("\r\n");
    } else {
      out.append(text.substr(line.end, line.next - line.end));
      out.append(Trim(key)).append("=").append(value).append("\r\n");
    }
    out.append(text.substr(line.next));
  } else {
    out.append(text);
    if (!text.empty() && text.back() != '\n' && text.back() != '\r') out.append("\r\n");
    if (!text.empty()) out.append("\r\n");
    out.append("[").append(Trim(section)).append("]\r\n");
    out.append(Trim(key)).append("=").append(value).append("\r\n");
  }
  *result = std::move(out);
  return true;
}

}  // namespace veilbox::standin
