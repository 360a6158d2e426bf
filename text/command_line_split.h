// Splitting a Windows command line into arguments, and joining arguments
// into one, by the rules Windows programs use (CommandLineToArgvW and the
// C runtime). Pure text functions: no system calls.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veilbox::text {

// Splits a command line. The first argument is the program name: it ends
// at the first blank or tab outside quotes, each double quote toggles
// quoting and is dropped, and backslashes are plain characters. The later
// arguments are separated by blanks and tabs outside quotes, and:
//   2n backslashes and a quote give n backslashes and toggle quoting;
//   2n+1 backslashes and a quote give n backslashes and a literal quote;
//   backslashes not before a quote stay as they are;
//   a quote right after the closing quote of a quoted part ("" inside
//   quotes) is a literal quote, and the argument continues unquoted.
// An empty line gives no arguments; a line that starts with a blank gives
// an empty program name.
std::vector<std::string> SplitCommandLine(std::string_view line);

// Quotes one argument (not the program name) so that the splitter gives
// it back unchanged: an argument that is empty or holds a blank, a tab or
// a double quote is put in quotes, with the backslashes before a quote or
// before the closing quote doubled and each quote escaped; any other
// argument stays as it is.
std::string QuoteArgument(std::string_view argument);

// Quotes a program name: in quotes when it is empty or holds a blank or a
// tab, with no escapes (a program name cannot hold a double quote).
std::string QuoteProgramName(std::string_view program);

// The program name and the arguments, each quoted as above, joined by
// single blanks.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

}  // namespace veilbox::text
