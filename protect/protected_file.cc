#include "protect/protected_file.h"

#include <array>
#include <cstdint>
#include <random>

#include "platform/files.h"
#include "protect/line_cipher.h"
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

// Length of ".Veilbox", which the plain file's name lacks.
constexpr std::int32_t kExtensionLength = 8;

// Decrypts one line in place; a malformed line raises ConvertError and
// stays as it was. `scratch` is reused from line to line.
void DecryptLine(std::string* line, const line_cipher::KeyStream& keys, std::string* scratch) {
  if (line->empty()) return;
  scratch->resize(line_cipher::DecryptedSize(line->size()));
  const std::size_t n = line_cipher::Decrypt(*line, keys, scratch->data());
  line->assign(scratch->data(), n);
}

// Makes room in *bytes for the whole file, when its size can be told.
// ReadWholeFile fills the text it is given from empty and keeps its room;
// without this, the text grows by copies and needs about twice the file's
// size on the way.
void ReserveFileSize(const std::string& path, std::string* bytes) {
  platform::File file;
  std::uint32_t error = 0;
  if (!platform::File::OpenExisting(path, false, platform::Share::kReadWrite, &file, &error))
    return;  // the read itself will tell
  const std::int64_t size = file.Size();
  if (size > 0 && static_cast<std::uint64_t>(size) < bytes->max_size())
    bytes->reserve(static_cast<std::size_t>(size));
}

// Writes the plain file anew and marks it hidden and nothing else.
void WritePlainFile(const std::string& name, const std::string& bytes) {
  // A plain file left hidden (or read-only, or system) by a run that was
  // cut short would make the creation fail and stop every later compile:
  // clear those attributes first.
  constexpr std::uint32_t kBlocking =
      platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem;
  const std::uint32_t old = platform::GetFileAttributes(name);
  if (old != platform::kInvalidAttributes && !(old & platform::kAttrDirectory) &&
      (old & kBlocking)) {
    const std::uint32_t rest = old & ~kBlocking;
    platform::SetFileAttributes(name, rest ? rest : platform::kAttrNormal);
  }
  platform::File file;
  std::uint32_t error = 0;
  if (!platform::File::CreateAlways(name, &file, &error)) throw FileCreateError(name);
  if (!bytes.empty() && !file.Append(bytes.data(), bytes.size())) {
    // Leave no truncated source behind for the compiler to read.
    file.Close();
    platform::DeleteFile(name, &error);
    throw Error("Cannot write file " + name);
  }
  file.Close();
  platform::SetFileAttributes(name, platform::kAttrHidden);
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

bool DecryptProtectedText(std::string* bytes, ProtectedTextInfo* info) {
  ProtectedTextInfo unused;
  if (!info) info = &unused;
  std::string& data = *bytes;
  const std::string_view visible = VisibleText(data);
  LineReader reader(visible);

  TextList header;
  std::string_view line;
  while (header.Count() < kHeaderLines && reader.Next(&line)) header.Add(std::string(line));
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

  // The body is decrypted over the bytes it was read from: each plain
  // line with its CR LF is written where the cipher lines before it were
  // (a cipher line is about twice as long as its plain line). Only lines
  // of 0 to 2 characters with a one-byte line end can give more than they
  // took; should the output ever reach bytes not yet read, the rest goes
  // to a separate buffer.
  std::size_t written = 0;
  std::size_t count = 0;
  std::string spill;
  bool spilled = false;
  while (reader.Next(&line)) {
    if ((count & 0xFFF) == 0) CheckInterrupt();  // a soft end need not wait for a long file
    info->line_number = kHeaderLines + ++count;
    const std::size_t n = line_cipher::DecryptedSize(line.size());
    const std::size_t next = reader.position();
    const std::size_t limit = next < visible.size() ? next : data.size();
    if (!spilled && written + n + 2 > limit) {
      spill.assign(data, 0, written);
      spilled = true;
    }
    if (spilled) {
      const std::size_t at = spill.size();
      spill.resize(at + n);
      spill.resize(at + line_cipher::Decrypt(line, keys, spill.data() + at));
      spill += "\r\n";
    } else {
      written += line_cipher::Decrypt(line, keys, data.data() + written);
      data[written++] = '\r';
      data[written++] = '\n';
    }
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

void DecryptProtectedFile(const std::string& FileName, bool* wrote) {
  if (wrote) *wrote = false;
  LastStatus = kSuccessText;
  std::string bytes;
  std::uint32_t error = 0;
  ReserveFileSize(FileName, &bytes);
  if (!platform::ReadWholeFile(FileName, platform::Share::kNone, &bytes, &error)) {
    LastStatus = "Cannot Open File " + FileName;
    return;
  }
  // Everything is decrypted before the plain file is touched, so a
  // malformed line leaves no plain file behind.
  if (!DecryptProtectedText(&bytes)) return;
  WritePlainFile(LeftStr(FileName, static_cast<std::int32_t>(FileName.size()) - kExtensionLength),
                 bytes);
  if (wrote) *wrote = true;
}

}  // namespace veilbox
