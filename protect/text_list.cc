#include "protect/text_list.h"

namespace veilbox {

void TextList::SetText(std::string_view bytes) {
  lines_.clear();
  LineReader reader(VisibleText(bytes));
  std::string_view line;
  while (reader.Next(&line)) lines_.emplace_back(line);
}

std::string TextList::Text() const {
  std::size_t size = 0;
  for (const std::string& line : lines_) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace veilbox
