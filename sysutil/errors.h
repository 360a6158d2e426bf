// The errors that travel up the call chain instead of being reported
// through LastStatus: a text that is not a number, a file that cannot be
// created, a table that cannot be opened, and the end of the run with an
// exit code.
#pragma once

#include <stdexcept>
#include <string>

namespace veilbox {

// Base of every error the program raises on purpose; what() is the text
// shown to the user.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "'%s' is not a valid integer value".
class ConvertError : public Error {
 public:
  explicit ConvertError(const std::string& text)
      : Error("'" + text + "' is not a valid integer value") {}
};

// "Cannot create file %s".
class FileCreateError : public Error {
 public:
  explicit FileCreateError(const std::string& file_name)
      : Error("Cannot create file " + file_name) {}
};

// A table file that cannot be opened or is too short to hold a header.
class TableOpenError : public Error {
 public:
  using Error::Error;
};

// Ends the run: unwinds to the program entry, which returns the code.
class RunEnded {
 public:
  explicit RunEnded(int code) : code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// Decimal integer with an optional sign, as the stored placement values
// are written; anything else raises ConvertError naming the text.
int StrToInt(const std::string& text);

}  // namespace veilbox
