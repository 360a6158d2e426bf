// Runs a program and answers its message boxes, for the end-to-end tests
// and the screenshots:
//
//   box-watcher RECORD COMMAND_FILE [HOLD_MS]
//
// COMMAND_FILE holds the program's whole command line. Each message box
// (a dialog of class #32770) that the program shows is recorded in RECORD
// as "box" caption, "text" text and "icon" 0 or 1, then its OK button is
// pressed, after HOLD_MS milliseconds when given. The program's exit code
// ends the record ("exit") and is this program's exit code; a program
// still running after two minutes is ended and recorded as "timeout".
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/record_text.h"

namespace {

struct Search {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != search->process_id || !IsWindowVisible(hwnd)) return TRUE;
  char cls[64] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  if (std::string(cls) != "#32770") return TRUE;
  search->found = hwnd;
  return FALSE;
}

BOOL CALLBACK FindIcon(HWND hwnd, LPARAM param) {
  char cls[64] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
  if (lstrcmpiA(cls, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(hwnd) &&
      SendMessageA(hwnd, STM_GETICON, 0, 0) != 0) {
    *reinterpret_cast<bool*>(param) = true;
    return FALSE;
  }
  return TRUE;
}

std::string WindowText(HWND hwnd) {
  const int n = GetWindowTextLengthA(hwnd);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  const int got = GetWindowTextA(hwnd, text.data(), n + 1);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 125;
  const std::string record_path = argv[1];
  std::ifstream command_file(argv[2], std::ios::binary);
  std::stringstream command;
  command << command_file.rdbuf();
  const DWORD hold_ms = argc > 3 ? static_cast<DWORD>(std::atoi(argv[3])) : 0;

  std::string record;
  const auto flush = [&] {
    std::ofstream out(record_path, std::ios::binary | std::ios::trunc);
    out << record;
  };

  std::string line = command.str();
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    record += "startfailed " + std::to_string(GetLastError()) + "\n";
    flush();
    return 125;
  }

  const DWORD start = GetTickCount();
  bool timed_out = false;
  for (;;) {
    if (WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0) break;
    if (GetTickCount() - start > 120000) {
      TerminateProcess(pi.hProcess, 124);
      WaitForSingleObject(pi.hProcess, INFINITE);
      timed_out = true;
      break;
    }
    Search search = {pi.dwProcessId, nullptr};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    if (!search.found) continue;
    HWND box = search.found;
    Sleep(50);  // let the box finish drawing its controls
    bool icon = false;
    EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&icon));
    char text[8192] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    using veilbox::testing::EscapeRecordValue;
    record += "box " + EscapeRecordValue(WindowText(box)) + "\n";
    record += "text " + EscapeRecordValue(text) + "\n";
    record += std::string("icon ") + (icon ? "1" : "0") + "\n";
    flush();
    if (hold_ms) Sleep(hold_ms);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    // Wait for this box to go before looking for the next one.
    while (IsWindow(box) && IsWindowVisible(box) &&
           WaitForSingleObject(pi.hProcess, 10) == WAIT_TIMEOUT) {
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  record += timed_out ? "timeout 1\n" : "exit " + std::to_string(code) + "\n";
  flush();
  return static_cast<int>(code);
}
