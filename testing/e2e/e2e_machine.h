// The machine an end-to-end scenario runs on: the native build's stand-in
// (a fresh prefix directory per scenario) or the Windows build under Wine
// (the Wine prefix's drive C:, registry and Windows directory). Paths are
// Windows paths (C:\...) on both.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace veilbox::e2e {

struct Box {
  std::string caption;
  std::string text;
};

struct RunResult {
  int exit_code = -1;
  std::vector<Box> boxes;
  // Anything the run showed that a box record cannot hold (a box with the
  // wrong icon, stray output, a hang).
  std::vector<std::string> problems;
};

// Where a .reg text is imported: as the program itself sees the registry
// (a 32-bit program: the 32-bit view on 64-bit Windows), or into the
// 32-bit or the 64-bit view of HKEY_LOCAL_MACHINE\Software, as
// `reg import FILE /reg:32` and `/reg:64` do.
enum class RegView { kProgram, k32, k64 };

class Machine {
 public:
  // Clears what an earlier scenario left: the scratch tree root, the
  // registry keys below Software\Talvoren (in both views), the settings
  // files.
  explicit Machine(const std::string& root);
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // Adds the keys of the .reg text (regedit format) in that view.
  void ImportRegistry(const std::string& reg_text, RegView view = RegView::kProgram);
  // The Windows directory as the program sees it.
  std::string WindowsDir() const;
  // Runs Veilbox with these arguments and answers its message boxes.
  RunResult RunVeilbox(const std::vector<std::string>& args);
  // Runs a console program built beside Veilbox (veilbox-protect, say)
  // with these arguments; its exit code, and its standard output in *out.
  int RunTool(const std::string& name, const std::vector<std::string>& args, std::string* out);

  // Writes a file (creating its directories) that the scenario's end
  // removes again; for files outside the scratch tree.
  void WriteOutsideFile(const std::string& path, const std::string& bytes);

  // Sets an environment variable for the programs started from now on.
  static void SetEnv(const std::string& name, const std::string& value);

 private:
  struct Impl;
  std::string root_;
  std::vector<std::string> outside_files_;
  std::unique_ptr<Impl> impl_;
};

// Makes the drive letter `letter` a second name of the directory at
// windows_dir, as a mapped drive is: natively the stand-in's drive_<letter>
// is a link to it; under Wine the mount manager makes the prefix's
// dosdevices link; on Windows the letter is defined as a DOS device. False
// with *err where it cannot be made.
bool MakeDriveLetter(char letter, const std::string& windows_dir, std::string* err);
// Takes the letter away again.
void RemoveDriveLetter(char letter);

// Full name of a program built with the tests (Veilbox itself lies one
// directory up from the helpers).
std::string VeilboxPath();

}  // namespace veilbox::e2e
