// Every exception the program raises derives from Exception, declared
// here. Two branches:
//  - Error: a failure with a text for the user, raised where the original
//    design raises its error (a text that is not a number, a file that
//    cannot be created, a table that cannot be opened) and where the run
//    or a step of it cannot go on (the classes derived in protect/ and
//    app/); a caller that can go on catches it by its type;
//  - RunEnd: the end of the run itself, after its message (RunEnded, with
//    an exit code) or after a soft end (RunInterrupted). Whatever catches a
//    std::exception on the way catches RunEnd first and lets it go on, so
//    that nothing which ends the run is taken for a failure and swallowed.
// Any other failure a caller handles is a result, not an exception.
#pragma once

#include <stdexcept>
#include <string>

namespace veilbox {

// Base of every exception the program raises.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure that ends the run or a step of it; what() is the text shown to
// the user.
class Error : public Exception {
 public:
  using Exception::Exception;
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

// The end of the run: unwinds to the program entry, past every handler of
// failures. Only the program entry (and the plan, which asks where a run
// would end) stops it.
class RunEnd : public Exception {
 public:
  using Exception::Exception;
};

// Ends the run with an exit code, after its message: the program entry
// returns the code.
class RunEnded : public RunEnd {
 public:
  explicit RunEnded(int code)
      : RunEnd("the run ended with exit code " + std::to_string(code)), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// Ends the run after a soft end (platform/interrupts.h): the program entry
// ends the process by it once every destructor of the run has run.
class RunInterrupted : public RunEnd {
 public:
  explicit RunInterrupted(int interrupt)
      : RunEnd("the run ended by the soft end " + std::to_string(interrupt)),
        interrupt_(interrupt) {}
  int interrupt() const { return interrupt_; }

 private:
  int interrupt_;
};

// Decimal integer with an optional sign, as the stored placement values
// are written; anything else raises ConvertError naming the text.
int StrToInt(const std::string& text);

}  // namespace veilbox
