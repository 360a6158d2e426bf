// Registry string values named by one backslash path below a root: all
// components but the last are keys, opened in turn; the last is the value
// name. Outcomes go to LastStatus; nothing is raised to the caller.
#pragma once

#include <string>

#include "sysutil/globals.h"

namespace veilbox {

// The value's text, up to its first zero byte, or kNotFound when there is
// no REG_SZ or REG_EXPAND_SZ value to read.
std::string ReadRegString(RegistryRoot root, const std::string& path);

// Stores value as REG_SZ, creating the keys of the path where missing and
// replacing a value of that name whatever its type.
void WriteRegString(RegistryRoot root, const std::string& path, const std::string& value);

}  // namespace veilbox
