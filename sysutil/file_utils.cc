#include "sysutil/file_utils.h"

#include "platform/files.h"
#include "platform/message_box.h"
#include "sysutil/globals.h"

namespace veilbox {

void ListFiles(std::vector<std::string>& list, const std::string& pattern) {
  list = platform::FindFiles(pattern);
}

std::string IoErrorMessage(std::uint32_t code) {
  switch (code) {
    case 2:
      return "File not found";
    case 3:
      return "Invalid filename";
    case 4:
      return "Too many open files";
    case 5:
      return "File access denied";
    case 100:
      return "Read beyond end of file";
    case 101:
      return "Disk full";
    case 106:
      return "Invalid numeric input";
    default:
      return "I/O error " + std::to_string(static_cast<std::int32_t>(code));
  }
}

void DeleteFileChecked(const std::string& name) {
  LastStatus = kSuccessText;
  std::uint32_t error = 0;
  if (!platform::RemoveFile(name, &error))
    LastStatus = "Unable to delete file " + name + "\r\n" + IoErrorMessage(error);
}

std::string GetWindowsDir() {
  std::string dir;
  std::uint32_t error = 0;
  if (platform::WindowsDirectory(&dir, &error)) return dir;
  platform::ShowErrorDialog(std::to_string(error));
  return "Error";
}

}  // namespace veilbox
