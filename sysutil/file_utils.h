// Listing, deleting and locating files for the compile run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veilbox {

// Refills list with the names (without directory) of every entry that
// matches pattern, whose last component may hold * and ?: files of any
// attributes, directories, and "." and ".." where they match, in the order
// the system delivers them. Nothing matching, or a missing directory,
// leaves the list empty.
void ListFiles(std::vector<std::string>& list, const std::string& pattern);

// Deletes a file. LastStatus becomes the success text, or
// "Unable to delete file " + name + CR LF + the message for the system's
// error code (IoErrorMessage).
void DeleteFileChecked(const std::string& name);

// The message for a system error code: 2 "File not found", 3 "Invalid
// filename", 4 "Too many open files", 5 "File access denied", 100 "Read
// beyond end of file", 101 "Disk full", 106 "Invalid numeric input", any
// other "I/O error " + the code in decimal.
std::string IoErrorMessage(std::uint32_t code);

// The Windows directory. When the system cannot tell it, shows an error
// dialog whose text is the error code in decimal and returns "Error".
std::string GetWindowsDir();

}  // namespace veilbox
