// ProtectedFiles: source files kept as cipher lines. A ProtectedFile is
// named after its plain file with ".Veilbox" appended. Lines 1 to 5 are
// the header, enciphered with the header key: 1 the banner, 3 the body
// key, 2, 4 and 5 free texts. Lines 6 onward are the plain file's lines,
// enciphered with the body key. An empty line stands for an empty text.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "protect/text_list.h"
#include "protect/wex_encryption.h"

namespace veilbox {

// Number of header lines at the head of every ProtectedFile.
inline constexpr std::size_t kHeaderLines = 5;
// The banner text of header line 1 up to the web address, and after it.
inline constexpr char kBannerStart[] = "Veilbox V1.0. See ";
inline constexpr char kBannerEnd[] = " for more info";

// The 67-character header key, the same for every ProtectedFile. Built
// afresh at each call; the program keeps it only scrambled.
std::string BuildHeaderKey();

// Runs the line cipher over every line in place, one line after another,
// with one key and direction, exactly as TWexEncryption's Execute would. A
// malformed cipher line raises ConvertError; the lines before it have been
// replaced, it and the lines after it have not.
void CryptList(TextList& lines, const std::string& key, TActionType action);

// What DecryptProtectedText found besides the plain bytes.
struct ProtectedTextInfo {
  // Number of lines of the plain file.
  std::size_t plain_lines = 0;
  // Number (from 1) of the ProtectedFile line being decrypted; after a
  // ConvertError, the malformed line.
  std::size_t line_number = 0;
  // Header line 1, decrypted.
  std::string banner;
};

// Decrypts the ProtectedFile held in *bytes, in memory. On success *bytes
// becomes the plain file's bytes (every line followed by CR LF) and the
// result is true. A file of fewer than 5 lines gives false. A malformed
// line, in the header or the body, raises ConvertError and leaves *bytes
// half done. Works in place, so it needs little more memory than the
// file's own size. A pending soft end raises RunInterrupted between lines
// unless check_interrupts is false (a clean-up that must finish).
bool DecryptProtectedText(std::string* bytes, ProtectedTextInfo* info = nullptr,
                          bool check_interrupts = true);

// The ProtectedFile bytes for a header of exactly 5 plain texts (the third
// being the body key) and the plain lines of the body.
std::string EncryptProtectedText(TextList header, TextList body);

// Makes the way free for a plain file once its ProtectedFile has been
// decrypted, just before the plain file is created: deals with whatever
// stands at the name and returns the name to create (the same file name,
// in the letter case it has on disk), or raises an Error to stop.
using PreparePlainFile = std::function<std::string(const std::string& plain_name)>;

// Decrypts the ProtectedFile FileName into its plain file (FileName less
// its last 8 characters), a new file that it creates itself, hidden and
// readable by the current account alone from its creation on. Only a
// hidden file left at the name by a run that was cut short is replaced;
// anything else there makes the creation fail.
// LastStatus becomes the success text. A ProtectedFile that cannot be read
// (tried again for a short while when another program holds it) sets
// LastStatus to "Cannot Open File " followed by FileName and raises
// ProtectedFileReadError saying why; nothing is written. A file of fewer
// than 5 lines writes nothing. Raises ConvertError for a malformed line
// (nothing written) and FileCreateError when the plain file cannot be
// created. When wrote is given, *wrote tells whether the plain file was
// written.
void DecryptProtectedFile(const std::string& FileName, bool* wrote = nullptr);

// DecryptProtectedFile without touching LastStatus, for callers that
// decrypt on several threads at once; it raises the same errors. Before
// the plain file is created, prepare (when given) makes the way free in
// place of the replacement of a hidden leftover.
void DecryptProtectedFileNoStatus(const std::string& FileName, bool* wrote = nullptr,
                                  const PreparePlainFile& prepare = {});

}  // namespace veilbox
