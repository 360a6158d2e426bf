#include <cstdio>

#include "platform/message_box.h"

namespace veilbox::platform {
namespace {

void WriteBox(const std::string& caption, const std::string& text) {
  std::string line = caption + ": " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

void ShowPlainMessage(const std::string& caption, const std::string& text) {
  WriteBox(caption, text);
}

void ShowErrorDialog(const std::string& text) { WriteBox("Error", text); }

}  // namespace veilbox::platform
