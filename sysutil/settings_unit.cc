#include "sysutil/settings_unit.h"

#include "platform/code_page.h"
#include "platform/module.h"
#include "sysutil/globals.h"
#include "text/ansi_case.h"

namespace veilbox {

std::string DefaultTitle(std::string_view program_file) {
  std::string_view name = program_file;
  if (const std::size_t slash = name.find_last_of("\\/"); slash != std::string_view::npos)
    name.remove_prefix(slash + 1);
  name = name.substr(0, name.find('.'));
  std::string title(name);
  for (std::size_t i = 1; i < title.size(); ++i) title[i] = text::AnsiLowerChar(title[i]);
  return title;
}

void StartSettingsUnit() {
  RegBasePath =
      "Software\\Talvoren\\" + DefaultTitle(platform::OemToAnsiText(platform::ModuleFileName()));
  RegRoot = kHkeyCurrentUser;
}

void EndSettingsUnit() {
  std::string().swap(LastStatus);
  std::string().swap(RegBasePath);
}

}  // namespace veilbox
