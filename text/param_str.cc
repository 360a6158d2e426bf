#include "text/param_str.h"

#include <cstddef>

namespace veilbox::text {
namespace {

bool IsSeparator(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte != 0 && byte <= ' ';
}

// Reads one argument from position *pos on and leaves *pos behind it.
std::string NextParam(std::string_view line, std::size_t* pos) {
  std::size_t p = *pos;
  const auto at = [&](std::size_t i) { return i < line.size() ? line[i] : '\0'; };
  for (;;) {
    while (IsSeparator(at(p))) ++p;
    if (at(p) == '"' && at(p + 1) == '"') {
      p += 2;
      continue;
    }
    break;
  }
  std::string param;
  while (at(p) != '\0' && !IsSeparator(at(p))) {
    if (at(p) == '"') {
      ++p;
      while (at(p) != '\0' && at(p) != '"') param += line[p++];
      if (at(p) != '\0') ++p;
    } else {
      param += line[p++];
    }
  }
  *pos = p;
  return param;
}

}  // namespace

std::vector<std::string> SplitParams(std::string_view command_line) {
  // A byte 0 ends the line, as it ends the text the system hands over.
  if (const std::size_t nul = command_line.find('\0'); nul != std::string_view::npos) {
    command_line = command_line.substr(0, nul);
  }
  std::size_t pos = 0;
  NextParam(command_line, &pos);  // the program
  std::vector<std::string> params;
  for (;;) {
    std::string param = NextParam(command_line, &pos);
    if (param.empty()) break;
    params.push_back(std::move(param));
  }
  return params;
}

}  // namespace veilbox::text
