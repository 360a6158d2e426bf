// Runs arbitrary bytes as a ProtectedFile through the in-place decryption
// and checks it against the plain road: load the lines into a text list,
// decrypt the header and then the body with CryptList, and write them out.
// Both must fail alike or give the same plain bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "protect/protected_file.h"
#include "protect/text_list.h"
#include "sysutil/errors.h"

namespace {

// The reading rules, byte by byte.
std::vector<std::string> ReferenceLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;
  for (std::size_t i = 0; i < bytes.size() && bytes[i] != '\0'; ++i) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      line += c;
      open = true;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace veilbox;
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  std::string expected;
  bool expect_lines = false;
  bool expect_error = false;
  std::string expected_error;
  TextList body;
  body.SetText(bytes);
  if (std::vector<std::string>(body.begin(), body.end()) != ReferenceLines(bytes)) std::abort();
  if (body.Count() >= kHeaderLines) {
    expect_lines = true;
    TextList header;
    for (std::size_t i = 0; i < kHeaderLines; ++i) header.Add(body[i]);
    for (std::size_t i = 0; i < kHeaderLines; ++i) body.Delete(0);
    try {
      CryptList(header, BuildHeaderKey(), atDecryption);
      CryptList(body, header[2], atDecryption);
      expected = body.Text();
    } catch (const ConvertError& e) {
      expect_error = true;
      expected_error = e.what();
    }
  }

  std::string in_place = bytes;
  ProtectedTextInfo info;
  try {
    const bool decrypted = DecryptProtectedText(&in_place, &info);
    if (decrypted != expect_lines || expect_error) std::abort();
    if (decrypted && (in_place != expected || info.plain_lines != body.Count())) std::abort();
  } catch (const ConvertError& e) {
    // The same malformed group is named.
    if (!expect_error || expected_error != e.what()) std::abort();
  }
  return 0;
}
