#include "protect/protect_tool.h"

#include <random>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/files.h"
#include "platform/system_error.h"
#include "protect/file_arguments.h"
#include "protect/protected_file.h"
#include "protect/protected_file_name.h"
#include "sysutil/errors.h"

namespace veilbox {
namespace {

constexpr char kUsage[] =
    "Usage: veilbox-protect encrypt [--key KEY] [--force] FILE...\n"
    "       veilbox-protect encrypt [--key KEY] [--force] --recursive DIR PATTERN...\n"
    "       veilbox-protect check FILE...\n"
    "       veilbox-protect check --recursive DIR PATTERN...\n"
    "       veilbox-protect plan [--json] [/I<file> | /O<file>] PROJECT\n"
    "       veilbox-protect --help | --version\n";

constexpr char kHelp[] =
    "\n"
    "encrypt  writes FILE.Veilbox beside each FILE: a header of five enciphered\n"
    "         lines, then every line of FILE enciphered with the body key.\n"
    "         --key KEY  the body key (default: a fresh random key per file)\n"
    "         --force    replace an existing FILE.Veilbox\n"
    "         A FILE holding a byte 0 or 255 is refused: those bytes would not\n"
    "         come back unchanged. Line ends come back as CR LF.\n"
    "check    decrypts each ProtectedFile in memory, writes nothing, and prints\n"
    "         its number of plain lines or why it cannot be decrypted.\n"
    "FILE     may hold * and ? in its last component (dir\\\\*.ci); a pattern that\n"
    "         matches no file is an error. encrypt leaves ProtectedFiles out of\n"
    "         a pattern's matches.\n"
    "--recursive DIR PATTERN...  every file below DIR whose name matches a\n"
    "         PATTERN (*.ci).\n"
    "plan     shows what a compile of PROJECT would decrypt on this machine,\n"
    "         without writing anything (veilbox-protect plan --help).\n"
    "\n"
    "Exit status: 0 when every file succeeded, 1 when any failed, 2 for a usage\n"
    "error. The plain text is never printed.\n";

// The ProtectedFile is written under this name first, then renamed into
// place; it does not end in ".Veilbox", so a compile never picks it up.
constexpr char kPartialSuffix[] = ".partial";

// Header lines 2, 4 and 5, which readers do not interpret.
constexpr char kHeaderLine2[] = "Protected source file";
constexpr char kHeaderLine4[] = "Written by veilbox-protect";
constexpr char kHeaderLine5[] = "";

constexpr std::size_t kRandomKeyLength = 32;

struct Options {
  bool encrypt = false;
  bool force = false;
  bool recursive = false;
  bool has_key = false;
  std::string key;
  std::vector<std::string> files;
};

// Fills *options from the arguments; false with *problem on a usage error.
// *help is set when --help was asked for.
bool ParseArguments(const std::vector<std::string>& args, Options* options, bool* help,
                    std::string* problem) {
  *help = false;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      *help = true;
      return true;
    }
  }
  if (args.empty()) {
    *problem = "no command given";
    return false;
  }
  if (args[0] == "encrypt") {
    options->encrypt = true;
  } else if (args[0] != "check") {
    *problem = "unknown command '" + args[0] + "'";
    return false;
  }
  bool files_only = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (files_only || arg.empty() || arg[0] != '-' || arg == "-") {
      options->files.push_back(arg);
    } else if (arg == "--") {
      files_only = true;
    } else if (arg == "--recursive" || arg == "-r") {
      options->recursive = true;
    } else if (options->encrypt && arg == "--force") {
      options->force = true;
    } else if (options->encrypt && (arg == "--key" || arg.rfind("--key=", 0) == 0)) {
      if (arg == "--key") {
        if (++i == args.size()) {
          *problem = "--key needs a value";
          return false;
        }
        options->key = args[i];
      } else {
        options->key = arg.substr(6);
      }
      options->has_key = true;
      if (options->key.find('\xFF') != std::string::npos) {
        *problem = "the key holds a byte 255, which would not come back unchanged";
        return false;
      }
    } else {
      *problem = "unknown option '" + arg + "'";
      return false;
    }
  }
  if (options->files.empty()) {
    *problem = "no FILE given";
    return false;
  }
  if (options->recursive && options->files.size() < 2) {
    *problem = "--recursive needs DIR and a PATTERN";
    return false;
  }
  return true;
}

std::string RandomKey(std::random_device& random) {
  // Printable characters without the blank.
  std::uniform_int_distribution<int> pick(0x21, 0x7E);
  std::string key;
  for (std::size_t i = 0; i < kRandomKeyLength; ++i) key += static_cast<char>(pick(random));
  return key;
}

// Number (from 1) of the line that holds the byte at `offset`, by the
// reading rules of the text list.
std::size_t LineOfOffset(std::string_view text, std::size_t offset) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && !(i + 1 < offset && text[i + 1] == '\n'))) ++line;
  }
  return line;
}

bool EncryptFile(const std::string& file, const Options& options, std::random_device& random,
                 std::ostream& out) {
  const std::string target = file + kProtectedExtension;
  std::string plain;
  std::uint32_t error = 0;
  if (!platform::ReadWholeFile(file, platform::Share::kReadWrite, &plain, &error)) {
    out << file << ": cannot be opened: " << platform::SystemErrorText(error) << "\n";
    return false;
  }
  const std::size_t bad = plain.find_first_of(std::string_view("\0\xFF", 2));
  if (bad != std::string::npos) {
    out << file << ": line " << LineOfOffset(plain, bad) << " holds a byte "
        << (plain[bad] == '\0' ? "0" : "255") << ", which would not come back unchanged\n";
    return false;
  }
  if (!options.force && (platform::FileExists(target) || platform::DirectoryExists(target))) {
    out << target << ": already exists (--force replaces it)\n";
    return false;
  }

  TextList header;
  header.Add(std::string(kBannerStart) + kWebAddress + kBannerEnd);
  header.Add(kHeaderLine2);
  header.Add(options.has_key ? options.key : RandomKey(random));
  header.Add(kHeaderLine4);
  header.Add(kHeaderLine5);
  TextList body;
  body.SetText(plain);
  plain.clear();
  plain.shrink_to_fit();
  const std::size_t lines = body.Count();
  const std::string bytes = EncryptProtectedText(std::move(header), std::move(body));

  const std::string partial = target + kPartialSuffix;
  const platform::AtomicWriteResult written = platform::WriteFileAtomically(target, partial, bytes);
  if (written.step == platform::AtomicWriteStep::kRename) {
    out << target << ": cannot be replaced: " << platform::SystemErrorText(written.error) << "\n";
    return false;
  }
  if (!written.ok()) {
    out << partial << ": cannot be written";
    if (written.error) out << ": " << platform::SystemErrorText(written.error);
    out << "\n";
    return false;
  }
  out << target << ": written, " << lines << " lines\n";
  return true;
}

bool CheckFile(const std::string& file, std::ostream& out) {
  std::string bytes;
  std::uint32_t error = 0;
  if (!platform::ReadWholeFile(file, platform::Share::kNone, &bytes, &error)) {
    out << file << ": cannot be opened: " << platform::SystemErrorText(error) << "\n";
    return false;
  }
  ProtectedTextInfo info;
  try {
    if (!DecryptProtectedText(&bytes, &info)) {
      out << file << ": fewer than 5 lines\n";
      return false;
    }
  } catch (const ConvertError& e) {
    out << file << ": line " << info.line_number << " is malformed: " << e.what() << "\n";
    return false;
  }
  const std::string_view banner = info.banner;
  if (banner.rfind(kBannerStart, 0) != 0 || banner.size() < sizeof(kBannerEnd) - 1 ||
      banner.substr(banner.size() - (sizeof(kBannerEnd) - 1)) != kBannerEnd) {
    out << file << ": no banner in line 1; written with another header key?\n";
    return false;
  }
  out << file << ": OK, " << info.plain_lines << " lines\n";
  return true;
}

}  // namespace

int RunProtectTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options options;
  bool help = false;
  std::string problem;
  if (!ParseArguments(args, &options, &help, &problem)) {
    err << "veilbox-protect: " << problem << "\n" << kUsage;
    return 2;
  }
  if (help) {
    out << kUsage << kHelp;
    return 0;
  }
  // Each argument's files, or why it names none.
  std::vector<std::string> files;
  std::size_t unmatched = 0;
  const auto add = [&](std::vector<std::string> found, const std::string& problem) {
    if (found.empty()) {
      out << problem << "\n";
      ++unmatched;
    }
    files.insert(files.end(), found.begin(), found.end());
  };
  std::string problem_text;
  if (options.recursive) {
    add(FindFilesBelow(options.files[0], {options.files.begin() + 1, options.files.end()},
                       options.encrypt, &problem_text),
        problem_text);
  } else {
    for (const std::string& arg : options.files)
      add(ExpandFileArgument(arg, options.encrypt, &problem_text), problem_text);
  }
  std::size_t failed = 0;
  std::random_device random;
  for (const std::string& file : files) {
    const bool ok =
        options.encrypt ? EncryptFile(file, options, random, out) : CheckFile(file, out);
    if (!ok) ++failed;
  }
  if (files.size() > 1) {
    out << files.size() << " files, " << (options.encrypt ? "written: " : "OK: ")
        << files.size() - failed << ", failed: " << failed << "\n";
  }
  return failed == 0 && unmatched == 0 ? 0 : 1;
}

}  // namespace veilbox
