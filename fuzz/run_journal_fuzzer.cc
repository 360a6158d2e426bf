// Parses arbitrary bytes as a run journal (every record kind: new,
// leftover, aside, plain), as they come and with a valid
// closing checksum added (so the records themselves get explored);
// whatever is accepted must come back the same after being written out and
// read again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/run_journal.h"

namespace {

std::string Sealed(std::string_view body) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : body) hash = (hash ^ c) * 0x100000001b3ull;
  char end[32];
  std::snprintf(end, sizeof end, "end %016llX\n", static_cast<unsigned long long>(hash));
  return std::string(body) + end;
}

void Check(std::string_view bytes) {
  using namespace veilbox;
  RunJournalRecord record;
  std::string err;
  if (!ParseRunJournal(bytes, &record, &err)) return;
  const std::string again = FormatRunJournal(record);
  RunJournalRecord back;
  if (!ParseRunJournal(again, &back, &err)) std::abort();
  if (back.writer.pid != record.writer.pid || back.writer.start_time != record.writer.start_time ||
      back.plain_files != record.plain_files ||
      back.ok_message_suppressed != record.ok_message_suppressed ||
      back.settings_file != record.settings_file)
    std::abort();
  if (FormatRunJournal(back) != again) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  Check(bytes);
  Check(Sealed(bytes));
  return 0;
}
