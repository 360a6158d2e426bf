#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/process_identity.h"

namespace veilbox::platform {
namespace {

struct StatLine {
  char state = '?';
  std::uint64_t start_time = 0;
};

// Reads /proc/<pid>/stat: the state (field 3) and the start time (field 22).
// The command name (field 2) may hold blanks and parentheses, so the fields
// are counted from its last closing parenthesis.
bool ReadStat(std::uint32_t pid, StatLine* out) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!in || !std::getline(in, line)) return false;
  std::size_t close = line.rfind(')');
  if (close == std::string::npos) return false;
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  for (int index = 3; fields >> field; ++index) {
    if (index == 3) out->state = field.empty() ? '?' : field[0];
    if (index == 22) {
      out->start_time = std::strtoull(field.c_str(), nullptr, 10);
      return true;
    }
  }
  return false;
}


ProcessIdentity ReadCurrentProcess() {
  ProcessIdentity me;
  me.pid = static_cast<std::uint32_t>(getpid());
  StatLine stat;
  if (ReadStat(me.pid, &stat)) me.start_time = stat.start_time;
  return me;
}

}  // namespace

ProcessIdentity CurrentProcess() {
  static const ProcessIdentity me = ReadCurrentProcess();
  return me;
}

bool ProcessIsRunning(const ProcessIdentity& process) {
  if (process.pid == 0 || process.pid > 0x7FFFFFFFu) return false;
  if (kill(static_cast<pid_t>(process.pid), 0) != 0 && errno != EPERM) return false;
  StatLine stat;
  if (!ReadStat(process.pid, &stat)) return true;            // no /proc: trust kill()
  if (stat.state == 'Z' || stat.state == 'X') return false;  // ended, not yet reaped
  return process.start_time == 0 || stat.start_time == process.start_time;
}

}  // namespace veilbox::platform
