// Decryption speed and memory of ProtectedFiles, measured side by side
// with `basenc --base16 -d` from coreutils, which only turns the same hex
// digits into bytes. Prints, in one run:
//  - CryptList decryption throughput over the body of a generated 100 MB
//    ProtectedFile of 80-character lines;
//  - DecryptProtectedFile end to end (load, decrypt, save) on that file, in
//    a child process, with its peak resident memory;
//  - `veilbox-protect check` of that file, a program of its own run end to
//    end (read, decrypt in memory, nothing written);
//  - basenc's throughput on the cipher lines' hex without line ends;
//  - the ratios.
//
//   protected_file_bench [SIZE_MB]   (default 100)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "protect/protected_file.h"
#include "sysutil/globals.h"

extern char** environ;

namespace {

using veilbox::TextList;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 5;
constexpr std::size_t kCipherLineLength = 80;  // 39 plain bytes per line

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
double Mb(std::size_t bytes) { return static_cast<double>(bytes) / 1e6; }

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}

// Runs a program to its end with stdin and stdout redirected; returns the
// wall time.
double RunChild(const std::vector<std::string>& argv, const char* in, const char* out) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in, O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", args[0]);
    std::exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = Seconds(Clock::now() - start);
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", args[0]);
    std::exit(1);
  }
  return seconds;
}

// This process's peak resident memory in bytes (VmHWM: since its exec;
// the rusage figure of a spawned child would include its parent's).
long PeakRss() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10) * 1024L;
  }
  return 0;
}

// The child: decrypts one ProtectedFile and nothing else, then prints its
// peak memory.
int DecryptOnly(const char* path) {
  if (path) {
    veilbox::DecryptProtectedFile(path);
    if (veilbox::LastStatus != veilbox::kSuccessText) return 1;
  }
  std::printf("%ld\n", PeakRss());
  return 0;
}

long ReadNumber(const std::string& path) {
  std::ifstream in(path);
  long value = 0;
  in >> value;
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--decrypt-only") return DecryptOnly(argv[2]);
  if (argc == 2 && std::string(argv[1]) == "--idle") return DecryptOnly(nullptr);
  const std::size_t target_mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;

  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("veilbox-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string protected_path = (dir / "bench.ci.Veilbox").string();
  const std::string hex_path = (dir / "bench.hex").string();

  // The ProtectedFile: random printable plain lines of 39 bytes.
  std::string file_bytes;
  {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> printable(0x20, 0x7E);
    const std::size_t lines = target_mb * 1000000 / (kCipherLineLength + 2);
    TextList body;
    std::string line((kCipherLineLength - 2) / 2, ' ');
    for (std::size_t i = 0; i < lines; ++i) {
      for (char& c : line) c = static_cast<char>(printable(random));
      body.Add(line);
    }
    TextList header;
    for (const char* text : {"Veilbox V1.0. See https://veilbox.example for more info", "bench",
                             "a body key of some length", "", ""})
      header.Add(text);
    file_bytes = veilbox::EncryptProtectedText(std::move(header), std::move(body));
  }
  WriteFile(protected_path, file_bytes);

  TextList cipher_lines;
  cipher_lines.SetText(file_bytes);
  file_bytes.clear();
  file_bytes.shrink_to_fit();
  TextList header;
  for (std::size_t i = 0; i < veilbox::kHeaderLines; ++i) header.Add(cipher_lines[i]);
  for (std::size_t i = 0; i < veilbox::kHeaderLines; ++i) cipher_lines.Delete(0);
  veilbox::CryptList(header, veilbox::BuildHeaderKey(), veilbox::atDecryption);
  const std::string body_key = header[2];

  std::size_t hex_bytes = 0;
  {
    std::string hex;
    for (const std::string& l : cipher_lines) hex += l;
    hex_bytes = hex.size();
    WriteFile(hex_path, hex);
  }
  const std::size_t file_size = std::filesystem::file_size(protected_path);

  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string rss_path = (dir / "rss").string();
  RunChild({self, "--idle"}, "/dev/null", rss_path.c_str());
  const long idle_rss = ReadNumber(rss_path);
  // CryptList; DecryptProtectedFile in a child of its own, for its peak
  // memory; and basenc on the same hex digits: round by round, so that all
  // three meet the same load of the machine.
  double crypt_best = 1e9;
  double file_best = 1e9;
  double basenc_best = 1e9;
  double check_best = 1e9;
  long file_rss = 0;
  const std::string protect_tool =
      (std::filesystem::path(self).parent_path().parent_path() / "veilbox-protect").string();
  const bool have_tool = std::filesystem::exists(protect_tool);
  for (int round = 0; round < kRounds; ++round) {
    // CryptList alone, over a fresh copy of the cipher lines.
    TextList lines = cipher_lines;
    const auto start = Clock::now();
    veilbox::CryptList(lines, body_key, veilbox::atDecryption);
    crypt_best = std::min(crypt_best, Seconds(Clock::now() - start));
    benchmark::DoNotOptimize(lines[0].data());
    lines.Clear();

    // The compile run deletes each plain file after the compile, so the
    // next decryption creates it afresh.
    std::filesystem::remove(dir / "bench.ci");
    file_best = std::min(file_best, RunChild({self, "--decrypt-only", protected_path}, "/dev/null",
                                             rss_path.c_str()));
    file_rss = std::max(file_rss, ReadNumber(rss_path));
    basenc_best = std::min(basenc_best,
                           RunChild({"basenc", "--base16", "-d"}, hex_path.c_str(), "/dev/null"));
    if (have_tool) {
      check_best = std::min(
          check_best, RunChild({protect_tool, "check", protected_path}, "/dev/null", "/dev/null"));
    }
  }

  const double crypt_rate = Mb(hex_bytes) / crypt_best;
  const double file_rate = Mb(file_size) / file_best;
  const double basenc_rate = Mb(hex_bytes) / basenc_best;
  std::printf("ProtectedFile: %.1f MB, %zu cipher lines of %zu characters (%.1f MB of hex)\n",
              Mb(file_size), static_cast<std::size_t>(hex_bytes / kCipherLineLength),
              kCipherLineLength, Mb(hex_bytes));
  std::printf("CryptList decryption:        %8.1f MB/s of hex  (%.3f s, best of %d)\n", crypt_rate,
              crypt_best, kRounds);
  std::printf("DecryptProtectedFile:        %8.1f MB/s of file (%.3f s, best of %d)\n", file_rate,
              file_best, kRounds);
  std::printf("basenc --base16 -d:          %8.1f MB/s of hex  (%.3f s, best of %d)\n", basenc_rate,
              basenc_best, kRounds);
  if (have_tool) {
    std::printf("veilbox-protect check:       %8.1f MB/s of file (%.3f s, best of %d)\n",
                Mb(file_size) / check_best, check_best, kRounds);
  }
  std::printf("CryptList / basenc:          %8.2fx (goal >= 5)\n", crypt_rate / basenc_rate);
  if (have_tool) {
    std::printf(
        "basenc time / check time:    %8.2fx (goal >= 4; check also reads the line"
        " ends)\n",
        basenc_best / check_best);
  }
  std::printf("DecryptProtectedFile/basenc: %8.2fx (goal >= 2)\n", file_rate / basenc_rate);
  std::printf("Peak RSS of the decrypting child: %.1f MB (an idle child: %.1f MB)\n",
              Mb(static_cast<std::size_t>(file_rss)), Mb(static_cast<std::size_t>(idle_rss)));
  std::printf("Peak RSS / file size:        %8.2fx (goal < 3)\n",
              static_cast<double>(file_rss) / static_cast<double>(file_size));

  std::filesystem::remove_all(dir);
  return 0;
}
