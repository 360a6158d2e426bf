#include <windows.h>
// needs the declarations of windows.h
#include <shlobj.h>

#include <cstdlib>

#include "platform/user_data_dir.h"
#include "platform/system_error.h"

namespace veilbox::platform {

bool UserDataDir(std::string* dir, std::string* err) {
  char path[MAX_PATH];
  std::string base;
  if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                 SHGFP_TYPE_CURRENT, path))) {
    base = path;
  } else if (const char* env = std::getenv("LOCALAPPDATA"); env && *env) {
    base = env;
  } else {
    *err = "the local application data folder is unknown";
    return false;
  }
  if (base.back() != '\\') base += '\\';
  std::string veilbox = base + "Veilbox";
  if (!CreateDirectoryA(veilbox.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    *err = "cannot create " + veilbox + ": " + SystemErrorText(GetLastError());
    return false;
  }
  *dir = veilbox;
  return true;
}

}  // namespace veilbox::platform
