// The text of an INI file as the private-profile functions read and edit
// it: "[section]" lines open a section, "key=value" lines inside it hold
// values, lines beginning with ";" are comments. Section and key names
// compare without regard to the case of a to z and are trimmed of blanks
// and tabs, as are values; a value enclosed in a matching pair of single
// or double quotes loses them. The first section of a name and the first
// key of a name in it count. Lines end at CR LF, LF or CR.
//
// Pure text work: no file is touched here.
#pragma once

#include <string>
#include <string_view>

namespace veilbox::standin {

// The value of key in section, or false when the section, the key or its
// "=" is missing.
bool IniFindValue(std::string_view text, std::string_view section, std::string_view key,
                  std::string* value);

// The text with key in section set to value. An existing key line is
// rewritten in place; a missing key is added after the last non-empty line
// of the section; a missing section is added at the end. Every other byte
// stays as it was; new lines end in CR LF. Names and values holding a line
// break cannot be written and give false.
bool IniSetValue(std::string_view text, std::string_view section, std::string_view key,
                 std::string_view value, std::string* result);

}  // namespace veilbox::standin
