// Process and file helpers used by the compile run, until the shared
// helper unit provides them.
#pragma once

#include <string>
#include <vector>

namespace veilbox {

int RunAndWait(const std::string& application, const std::string& command_line,
               const std::string& current_dir);
void ListFiles(std::vector<std::string>& list, const std::string& pattern);
void DeleteFileChecked(const std::string& file_name);
std::string GetWindowsDir();

}  // namespace veilbox
