#include "protect/file_arguments.h"

#include <algorithm>

#include "platform/files.h"
#include "protect/protected_file_name.h"
#include "text/ansi_case.h"

namespace veilbox {
namespace {

std::size_t LastSeparator(const std::string& path) {
  const std::size_t sep = path.find_last_of("\\/");
  if (sep != std::string::npos) return sep + 1;
  return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

std::string Upper(const std::string& text) {
  std::string upper = text;
  for (char& c : upper) c = text::AnsiUpperChar(c);
  return upper;
}

bool EndsWithNoCase(const std::string& name, const std::string& end) {
  return name.size() >= end.size() && Upper(name.substr(name.size() - end.size())) == Upper(end);
}

bool IsProtectedName(const std::string& name) {
  const std::string ext = kProtectedExtension;
  return EndsWithNoCase(name, ext) || EndsWithNoCase(name, ext + ".partial");
}

void SortNoCase(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return Upper(a) < Upper(b); });
}

// The files in dir (ending in a separator, or empty) that match mask.
std::vector<std::string> MatchingFiles(const std::string& dir, const std::string& mask,
                                       bool skip_protected) {
  std::vector<std::string> names = platform::FindFiles(dir + mask);
  SortNoCase(names);
  std::vector<std::string> files;
  for (const std::string& name : names) {
    if (skip_protected && IsProtectedName(name)) continue;
    if (platform::FileExists(dir + name)) files.push_back(dir + name);
  }
  return files;
}

void WalkBelow(const std::string& dir, char sep, const std::vector<std::string>& patterns,
               bool skip_protected, std::vector<std::string>* files) {
  std::vector<std::string> found;
  for (const std::string& pattern : patterns) {
    for (std::string& file : MatchingFiles(dir, pattern, skip_protected)) {
      if (std::find(found.begin(), found.end(), file) == found.end())
        found.push_back(std::move(file));
    }
  }
  SortNoCase(found);
  files->insert(files->end(), found.begin(), found.end());
  std::vector<std::string> entries = platform::FindFiles(dir + "*");
  SortNoCase(entries);
  for (const std::string& name : entries) {
    if (name == "." || name == "..") continue;
    platform::EntryInfo info;
    std::uint32_t error = 0;
    if (!platform::InspectEntry(dir + name, &info, &error)) continue;
    if (info.kind == platform::EntryKind::kDirectory)
      WalkBelow(dir + name + sep, sep, patterns, skip_protected, files);
  }
}

}  // namespace

bool HasWildcard(const std::string& arg) {
  return arg.find_first_of("*?", LastSeparator(arg)) != std::string::npos;
}

std::vector<std::string> ExpandFileArgument(const std::string& arg, bool skip_protected,
                                            std::string* problem) {
  if (!HasWildcard(arg)) return {arg};
  const std::size_t at = LastSeparator(arg);
  std::vector<std::string> files = MatchingFiles(arg.substr(0, at), arg.substr(at), skip_protected);
  if (files.empty()) *problem = arg + ": no file matches";
  return files;
}

std::vector<std::string> FindFilesBelow(const std::string& dir,
                                        const std::vector<std::string>& patterns,
                                        bool skip_protected, std::string* problem) {
  if (!platform::DirectoryExists(dir)) {
    *problem = dir + ": not a directory";
    return {};
  }
  // Names below it are written with the separator the caller used.
  const char sep =
      dir.find('\\') == std::string::npos && dir.find('/') != std::string::npos ? '/' : '\\';
  std::string top = dir;
  if (top.find_last_of("\\/") != top.size() - 1) top += sep;
  std::vector<std::string> files;
  WalkBelow(top, sep, patterns, skip_protected, &files);
  if (files.empty()) *problem = dir + ": no file below it matches";
  return files;
}

}  // namespace veilbox
