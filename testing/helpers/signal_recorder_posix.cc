// Stands in for a compiler that is sent a soft end: says it is ready,
// waits (10 seconds at most), and when a signal that would end it comes
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, ...) writes the signal's
// number to a file and ends by that signal.
//   signal-recorder READY_FILE SIGNAL_FILE
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {
const char* g_signal_file = nullptr;

void OnSignal(int sig) {
  char text[16];
  int n = std::snprintf(text, sizeof text, "%d", sig);
  FILE* f = std::fopen(g_signal_file, "w");  // ends right after: good enough here
  if (f) {
    std::fwrite(text, 1, static_cast<size_t>(n), f);
    std::fclose(f);
  }
  signal(sig, SIG_DFL);
  raise(sig);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  g_signal_file = argv[2];
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGXCPU,
                  SIGXFSZ, SIGVTALRM, SIGPROF, SIGRTMIN})
    signal(sig, OnSignal);
  std::string ready = argv[1];
  if (FILE* f = std::fopen((ready + ".tmp").c_str(), "w")) {
    std::fputs("ready", f);
    std::fclose(f);
  }
  std::rename((ready + ".tmp").c_str(), ready.c_str());
  for (int i = 0; i < 10; ++i) sleep(1);  // a test that went wrong does not hang
  return 0;
}
