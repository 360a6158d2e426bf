// A compile run that is killed in the middle of its compile: it records
// its journal, writes its hidden plain files, records that it switched
// the completion message off, says it is ready and waits to be killed.
//   abandoned-run JOURNAL_DIR READY_FILE SETTINGS_FILE PLAIN_FILE...
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/run_journal.h"
#include "platform/files.h"

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  std::vector<std::string> plain(argv + 4, argv + argc);
  veilbox::RunJournal journal(argv[1], veilbox::platform::CurrentProcess());
  std::vector<veilbox::PlainFileEntry> entries;
  for (const std::string& name : plain) entries.push_back({name, veilbox::PlainFileKind::kNew});
  std::string err;
  if (!journal.RecordPlainFiles(entries, &err)) {
    std::fprintf(stderr, "abandoned-run: %s\n", err.c_str());
    return 1;
  }
  for (const std::string& name : plain) {
    veilbox::platform::File file;
    std::uint32_t error = 0;
    if (!veilbox::platform::File::CreateNewPrivate(name, &file, &error)) return 1;
    file.Append("plain text\r\n", 12);
    file.Close();
  }
  if (!journal.RecordOkMessageSuppressed(argv[3], &err)) return 1;
  const std::string ready = argv[2];
  {
    std::ofstream out(ready + ".tmp", std::ios::binary | std::ios::trunc);
    out << "ready";
  }
  std::rename((ready + ".tmp").c_str(), ready.c_str());
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}
