// Test helper: exit-with RECORD CODE [ARGS...]
// Writes what it was started with to the file RECORD (unless it is "-"),
// one item a line: "cwd=" and the current directory, on Windows
// "cmdline=" and the raw command line, then "arg=" and each argument from
// argv[0] on. Then ends with CODE (decimal, or hexadecimal after 0x).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char** argv) {
  if (argc < 3) return 200;
  const std::string record = argv[1];
  if (record != "-") {
    std::string text = "cwd=" + std::filesystem::current_path().string() + "\n";
#ifdef _WIN32
    text += std::string("cmdline=") + GetCommandLineA() + "\n";
#endif
    for (int i = 0; i < argc; ++i) text += std::string("arg=") + argv[i] + "\n";
    std::FILE* f = std::fopen(record.c_str(), "wb");
    if (!f) return 201;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  const unsigned long code = std::strtoul(argv[2], nullptr, 0);
#ifdef _WIN32
  ExitProcess(static_cast<UINT>(code));
#else
  return static_cast<int>(code);
#endif
}
