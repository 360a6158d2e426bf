// Registry string values named by one backslash path below a root: all
// components but the last are keys, opened in turn; the last is the value
// name. Outcomes go to LastStatus; nothing is raised to the caller.
#pragma once

#include <optional>
#include <string>

#include "sysutil/globals.h"

namespace veilbox {

// The registry views of 64-bit Windows (platform/registry.h): the
// program's own, or the 32-bit or the 64-bit one whatever the program's
// own.
enum class RegView { kOwn, k32, k64 };

// The value's text, up to its first zero byte, or kNotFound when there is
// no REG_SZ or REG_EXPAND_SZ value to read.
std::string ReadRegString(RegistryRoot root, const std::string& path);
// The same in the given view.
std::string ReadRegString(RegistryRoot root, const std::string& path, RegView view);
// The same, with nothing in place of kNotFound: for callers whose own
// decisions must not hang on a text a value might hold.
std::optional<std::string> ReadRegValue(RegistryRoot root, const std::string& path, RegView view);

// True when the key (every component of key_path a key, opened in turn)
// exists in the given view. Leaves LastStatus alone.
bool RegKeyExists(RegistryRoot root, const std::string& key_path, RegView view);

// Stores value as REG_SZ, creating the keys of the path where missing and
// replacing a value of that name whatever its type.
void WriteRegString(RegistryRoot root, const std::string& path, const std::string& value);

}  // namespace veilbox
