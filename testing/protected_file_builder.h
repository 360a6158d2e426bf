// ProtectedFiles for the tests: the five header lines (the banner, two
// lines readers do not interpret, the body key, one more such line) and
// the body lines, encrypted as veilbox-protect writes them.
#pragma once

#include <string>
#include <vector>

#include "protect/protected_file.h"
#include "protect/text_list.h"

namespace veilbox::testing {

// The five header lines around a body key.
inline std::vector<std::string> ProtectedHeader(const std::string& key = "key") {
  return {"Veilbox V1.0. See www.example.com for more info", "two", key, "four", "five"};
}

// The bytes of a ProtectedFile with these header and plain body lines.
inline std::string ProtectedFileFrom(const std::vector<std::string>& header,
                                     const std::vector<std::string>& body) {
  TextList header_list, body_list;
  for (const std::string& line : header) header_list.Add(line);
  for (const std::string& line : body) body_list.Add(line);
  return EncryptProtectedText(header_list, body_list);
}

// The bytes of a ProtectedFile of these plain lines, its header around key.
inline std::string ProtectedFileBytes(const std::vector<std::string>& body,
                                      const std::string& key = "key") {
  return ProtectedFileFrom(ProtectedHeader(key), body);
}

}  // namespace veilbox::testing
