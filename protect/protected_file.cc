#include "protect/protected_file.h"

#include <array>
#include <cstdint>
#include <random>

#include "platform/files.h"
#include "protect/line_cipher.h"
#include "protect/protected_file_name.h"
#include "protect/protected_file_read.h"
#include "sysutil/errors.h"
#include "sysutil/globals.h"
#include "sysutil/interrupt_check.h"
#include "sysutil/text_utils.h"

namespace veilbox {
namespace {

// The header key, each byte XOR 0x22.
constexpr std::array<std::uint8_t, 67> kScrambledHeaderKey = {
    0x47, 0x0C, 0x68, 0x58, 0x69, 0x7F, 0x64, 0x6F, 0x45, 0x4A, 0x0D, 0x1B, 0x4C, 0x6B,
    0x04, 0x07, 0x47, 0x1A, 0x45, 0x64, 0x08, 0x63, 0x5A, 0x07, 0x19, 0x4A, 0x08, 0x59,
    0x09, 0x1B, 0x43, 0x63, 0x41, 0x5A, 0x18, 0x15, 0x1F, 0x1E, 0x64, 0x15, 0x07, 0x04,
    0x14, 0x11, 0x6C, 0x63, 0x67, 0x01, 0x1F, 0x6C, 0x47, 0x7C, 0x64, 0x06, 0x64, 0x13,
    0x68, 0x4F, 0x17, 0x5F, 0x66, 0x58, 0x7D, 0x67, 0x07, 0x0F, 0x5E};
constexpr std::uint8_t kHeaderKeyMask = 0x22;

// Decrypts one line in place; a malformed line raises ConvertError and
// stays as it was. `scratch` is reused from line to line.
void DecryptLine(std::string* line, const line_cipher::KeyStream& keys, std::string* scratch) {
  if (line->empty()) return;
  scratch->resize(line_cipher::DecryptedSize(line->size()));
  const std::size_t n = line_cipher::Decrypt(*line, keys, scratch->data());
  line->assign(scratch->data(), n);
}

// What a caller without its own preparation gets: a hidden plain file
// left by a run that was cut short is replaced; anything else at the name
// makes the creation fail.
std::string ReplaceHiddenLeftover(const std::string& name) {
  platform::EntryInfo info;
  std::uint32_t error = 0;
  constexpr std::uint32_t kKept = platform::kAttrReadOnly | platform::kAttrSystem;
  if (platform::InspectEntry(name, &info, &error) && info.kind == platform::EntryKind::kFile &&
      info.links == 1 && (info.attributes & platform::kAttrHidden) && !(info.attributes & kKept)) {
    platform::SetAttributes(name, platform::kAttrNormal);
    platform::RemoveFile(name, &error);
  }
  return name;
}

// Writes the plain file as a new file of this run's own: hidden and
// private from its creation on, never through an entry that stood at the
// name before.
void WritePlainFile(const std::string& name, const std::string& bytes) {
  platform::File file;
  std::uint32_t error = 0;
  if (!platform::File::CreateNewPrivate(name, &file, &error)) throw FileCreateError(name);
  if (!bytes.empty() && !file.Append(bytes.data(), bytes.size())) {
    // Leave no truncated source behind for the compiler to read.
    file.Close();
    platform::RemoveFile(name, &error);
    throw Error("Cannot write file " + name);
  }
  file.Close();
}

}  // namespace

std::string BuildHeaderKey() {
  std::string key(kScrambledHeaderKey.begin(), kScrambledHeaderKey.end());
  for (char& c : key) c = static_cast<char>(c ^ kHeaderKeyMask);
  return key;
}

void CryptList(TextList& lines, const std::string& key, TActionType action) {
  // The rules of TWexEncryption's Execute, run straight on the lines with
  // the key laid out once: decryption runs in every compile over every
  // line, encryption over every line a vendor protects.
  const line_cipher::KeyStream keys(key);
  std::string scratch;
  if (action == atDecryption) {
    for (std::string& line : lines) DecryptLine(&line, keys, &scratch);
    return;
  }
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> byte(0, 255);
  for (std::string& line : lines) {
    if (line.empty()) continue;
    scratch.clear();
    line_cipher::Encrypt(line, keys, static_cast<std::uint8_t>(byte(random)), &scratch);
    line.swap(scratch);
  }
}

bool DecryptProtectedText(std::string* bytes, ProtectedTextInfo* info, bool check_interrupts) {
  ProtectedTextInfo unused;
  if (!info) info = &unused;
  std::string& data = *bytes;
  const std::size_t size = data.size();
  // Reading stops at the first byte 0: a line ends there, and so does the
  // text.
  const auto at_text_end = [&](std::size_t pos) { return pos >= size || data[pos] == '\0'; };
  // The offset after the line end at pos (CR, LF or CR LF; none at a byte
  // 0 or the end).
  const auto past_line_end = [&](std::size_t pos) {
    if (pos < size && data[pos] == '\r')
      return pos + 1 < size && data[pos + 1] == '\n' ? pos + 2 : pos + 1;
    if (pos < size && data[pos] == '\n') return pos + 1;
    return pos;
  };

  TextList header;
  std::size_t pos = 0;
  while (header.Count() < kHeaderLines && !at_text_end(pos)) {
    std::size_t end = pos;
    while (end < size && data[end] != '\r' && data[end] != '\n' && data[end] != '\0') ++end;
    header.Add(data.substr(pos, end - pos));
    pos = past_line_end(end);
  }
  if (header.Count() < kHeaderLines) return false;
  {
    const line_cipher::KeyStream keys(BuildHeaderKey());
    std::string scratch;
    for (std::size_t i = 0; i < kHeaderLines; ++i) {
      info->line_number = i + 1;
      DecryptLine(&header[i], keys, &scratch);
    }
  }
  info->banner = header[0];
  const line_cipher::KeyStream keys(header[2]);

  // The body is decrypted over the bytes it was read from, each line found
  // and decoded in one pass: each plain line with its CR LF is written
  // where the cipher lines before it were (a cipher line is about twice as
  // long as its plain line, and decoding writes only over what it has
  // read). Only lines of 0 to 2 characters with a one-byte line end can
  // give more than they took; should the output ever reach bytes not yet
  // read, the rest goes to a separate buffer.
  std::size_t written = 0;
  std::size_t count = 0;
  std::string spill;
  bool spilled = false;
  while (!at_text_end(pos)) {
    // A soft end need not wait for a long file.
    if (check_interrupts && (count & 0xFFF) == 0) CheckInterrupt();
    info->line_number = kHeaderLines + ++count;
    const std::string_view rest(data.data() + pos, size - pos);
    std::size_t length = 0;
    if (spilled) {
      while (length < rest.size() && rest[length] != '\r' && rest[length] != '\n' &&
             rest[length] != '\0')
        ++length;
      const std::size_t at = spill.size();
      spill.resize(at + line_cipher::DecryptedSize(length));
      spill.resize(at + line_cipher::Decrypt(rest.substr(0, length), keys, spill.data() + at));
      spill += "\r\n";
      pos = past_line_end(pos + length);
      continue;
    }
    const std::size_t n = line_cipher::DecryptLine(rest, keys, data.data() + written, &length);
    pos = past_line_end(pos + length);
    if (written + n + 2 > pos) {
      // The line end would overwrite bytes not read yet.
      spill.assign(data, 0, written + n);
      spill += "\r\n";
      spilled = true;
      continue;
    }
    written += n;
    data[written++] = '\r';
    data[written++] = '\n';
  }
  if (spilled)
    data = std::move(spill);
  else
    data.resize(written);
  info->plain_lines = count;
  return true;
}

std::string EncryptProtectedText(TextList header, TextList body) {
  const std::string body_key = header[2];
  CryptList(body, body_key, atEncryption);
  CryptList(header, BuildHeaderKey(), atEncryption);
  return header.Text() + body.Text();
}

void DecryptProtectedFileNoStatus(const std::string& FileName, bool* wrote,
                                  const PreparePlainFile& prepare) {
  if (wrote) *wrote = false;
  std::string bytes = ReadProtectedFile(FileName);
  // Everything is decrypted before the plain file is touched, so a
  // malformed line leaves no plain file behind.
  if (!DecryptProtectedText(&bytes)) return;
  const std::string plain = PlainFileName(FileName);
  WritePlainFile(prepare ? prepare(plain) : ReplaceHiddenLeftover(plain), bytes);
  if (wrote) *wrote = true;
}

void DecryptProtectedFile(const std::string& FileName, bool* wrote) {
  LastStatus = kSuccessText;
  try {
    DecryptProtectedFileNoStatus(FileName, wrote);
  } catch (const ProtectedFileReadError&) {
    LastStatus = "Cannot Open File " + FileName;
    throw;
  }
}

}  // namespace veilbox
