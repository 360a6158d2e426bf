#include "app/pending_helpers.h"

#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/process.h"
#include "sysutil/globals.h"

namespace veilbox {

int RunAndWait(const std::string& application, const std::string& command_line,
               const std::string& current_dir) {
  LastStatus = kSuccessText;
  std::uint32_t exit_code = 0, error = 0;
  if (!platform::RunProcessAndWait(application, command_line, current_dir, &exit_code, &error)) {
    LastStatus = "Unable to start Application " + application;
    return -1;
  }
  return static_cast<int>(exit_code);
}

void ListFiles(std::vector<std::string>& list, const std::string& pattern) {
  list = platform::FindFiles(pattern);
}

void DeleteFileChecked(const std::string& file_name) {
  LastStatus = kSuccessText;
  std::uint32_t error = 0;
  if (!platform::DeleteFile(file_name, &error)) {
    LastStatus = "Unable to delete file " + file_name + "\r\nI/O error " + std::to_string(error);
  }
}

std::string GetWindowsDir() {
  std::string dir;
  std::uint32_t error = 0;
  if (!platform::GetWindowsDirectory(&dir, &error)) {
    platform::ShowErrorDialog(std::to_string(error));
    return "Error";
  }
  return dir;
}

}  // namespace veilbox
