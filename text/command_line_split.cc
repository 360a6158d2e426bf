#include "text/command_line_split.h"

#include <cstddef>

namespace veilbox::text {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> arguments;
  if (line.empty()) return arguments;

  // The program name.
  std::size_t i = 0;
  std::string program;
  bool quoted = false;
  for (; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (IsBlank(c) && !quoted) {
      break;
    } else {
      program += c;
    }
  }
  arguments.push_back(std::move(program));

  // The arguments. `quotes` counts the quotes of a run: 1 inside a quoted
  // part; the third quote of a run is a literal one.
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string argument;
    int quotes = 0;
    std::size_t backslashes = 0;
    while (i < line.size()) {
      const char c = line[i];
      if (IsBlank(c) && quotes == 0) break;
      if (c == '\\') {
        argument += c;
        ++backslashes;
        ++i;
        continue;
      }
      if (c != '"') {
        argument += c;
        backslashes = 0;
        ++i;
        continue;
      }
      if (backslashes % 2 == 0) {
        argument.resize(argument.size() - backslashes / 2);
        ++quotes;
      } else {
        argument.resize(argument.size() - backslashes / 2 - 1);
        argument += '"';
      }
      backslashes = 0;
      ++i;
      while (i < line.size() && line[i] == '"') {
        if (++quotes == 3) {
          argument += '"';
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2) quotes = 0;
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

std::string QuoteArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos)
    return std::string(argument);
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(2 * backslashes + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, '\\');
  out += '"';
  return out;
}

std::string QuoteProgramName(std::string_view program) {
  if (!program.empty() && program.find_first_of(" \t") == std::string_view::npos)
    return std::string(program);
  std::string out;
  out.reserve(program.size() + 2);
  out += '"';
  out.append(program);
  out += '"';
  return out;
}

std::string JoinCommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) line += ' ';
    line += i == 0 ? QuoteProgramName(arguments[i]) : QuoteArgument(arguments[i]);
  }
  return line;
}

}  // namespace veilbox::text
