// Registry reads and writes by path, run against whatever registry the
// build has: the stand-in natively, the real one under Windows.
#include "sysutil/reg_path.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "testing/registry_sandbox.h"

namespace veilbox {
namespace {

using platform::kRegBinary;
using platform::kRegDword;
using platform::kRegExpandSz;
using platform::kRegSz;
using testing::RegistrySandbox;

// '@' in key paths, paths and texts stands for the sandbox's own key name.
struct Staged {
  const char* key;
  std::string name;
  std::uint32_t type;
  std::string data;
};

struct Stored {
  const char* key;
  const char* name;
  std::uint32_t type;
  std::string data;
};

struct RegCase {
  const char* what = "";
  std::vector<Staged> staged = {};
  std::string path = {};
  std::optional<std::string> write = {};  // a write of this value; a read without it
  std::string result = {};                // of a read
  std::string status = {};                // expected LastStatus; empty for the success text
  std::optional<Stored> stored = {};      // what a write must leave behind
  RegistryRoot root = kHkeyCurrentUser;
};

const std::string kKey = "Software\\VeilboxTest\\@\\Veilbox";
const std::string kDir = std::string("C:\\Citect\\") + '\0';

std::string Sz(const std::string& text) { return text + '\0'; }

const std::vector<RegCase>& Cases() {
  static const std::vector<RegCase> cases = {
      {.what = "plain value",
       .staged = {{kKey.c_str(), "CitectDir", kRegSz, kDir}},
       .path = "Software\\VeilboxTest\\@\\Veilbox\\CitectDir",
       .result = "C:\\Citect\\"},
      {.what = "value name matched without regard to case",
       .staged = {{kKey.c_str(), "CITECTDIR", kRegSz, kDir}},
       .path = "Software\\VeilboxTest\\@\\Veilbox\\CitectDir",
       .result = "C:\\Citect\\"},
      {.what = "leading backslash leaves the position unchanged",
       .staged = {{kKey.c_str(), "CitectDir", kRegSz, kDir}},
       .path = "\\Software\\VeilboxTest\\@\\Veilbox\\CitectDir",
       .result = "C:\\Citect\\"},
      {.what = "doubled backslash leaves the position unchanged",
       .staged = {{kKey.c_str(), "CitectDir", kRegSz, kDir}},
       .path = "Software\\\\VeilboxTest\\@\\Veilbox\\CitectDir",
       .result = "C:\\Citect\\"},
      {.what = "path without a backslash has no key to look in",
       .path = "CitectDir",
       .result = kNotFound},
      {.what = "trailing backslash reads the default value",
       .staged = {{kKey.c_str(), "", kRegSz, Sz("default")}},
       .path = "Software\\VeilboxTest\\@\\Veilbox\\",
       .result = "default"},
      {.what = "trailing backslash without a default value",
       .staged = {{kKey.c_str(), "Other", kRegSz, Sz("x")}},
       .path = "Software\\VeilboxTest\\@\\Veilbox\\",
       .result = kNotFound},
      {.what = "string without data",
       .staged = {{kKey.c_str(), "Empty", kRegSz, ""}},
       .path = "Software\\VeilboxTest\\@\\Veilbox\\Empty",
       .result = ""},
      {.what = "string of one zero byte",
       .staged = {{kKey.c_str(), "Zero", kRegSz, std::string(1, '\0')}},
       .path = "Software\\VeilboxTest\\@\\Veilbox\\Zero",
       .result = ""},
      {.what = "dword under the name",
       .staged = {{kKey.c_str(), "CitectVer", kRegDword, std::string("\x07\0\0\0", 4)}},
       .path = "Software\\VeilboxTest\\@\\Veilbox\\CitectVer",
       .result = kNotFound},
      {.what = "binary under the name",
       .staged = {{kKey.c_str(), "CitectVer", kRegBinary, "abc"}},
       .path = "Software\\VeilboxTest\\@\\Veilbox\\CitectVer",
       .result = kNotFound},
      {.what = "zero byte inside a string ends it",
       .staged = {{kKey.c_str(), "AttachName", kRegSz, std::string("ctc.exe\0junk\0", 13)}},
       .path = "Software\\VeilboxTest\\@\\Veilbox\\AttachName",
       .result = "ctc.exe"},
      {.what = "expandable string comes back unexpanded",
       .staged = {{kKey.c_str(), "CompExe", kRegExpandSz, Sz("%WINDIR%\\ctc.exe")}},
       .path = "Software\\VeilboxTest\\@\\Veilbox\\CompExe",
       .result = "%WINDIR%\\ctc.exe"},
      {.what = "stored sentinel reads like a missing value",
       .staged = {{kKey.c_str(), "CompExe", kRegSz, Sz(kNotFound)}},
       .path = "Software\\VeilboxTest\\@\\Veilbox\\CompExe",
       .result = kNotFound},
      {.what = "missing key",
       .path = "Software\\VeilboxTest\\@\\Nowhere\\CitectDir",
       .result = kNotFound},
      {.what = "missing value",
       .staged = {{kKey.c_str(), "CitectDir", kRegSz, kDir}},
       .path = "Software\\VeilboxTest\\@\\Veilbox\\CompExe",
       .result = kNotFound},
      {.what = "read below a handle that is no root",
       .path = "Software\\VeilboxTest\\@\\Veilbox\\CitectDir",
       .result = kNotFound,
       .status = "Cannot find root Given key",
       .root = 0x12345678u},

      {.what = "write creates the keys of the path",
       .path = "Software\\VeilboxTest\\@\\New\\Deeper\\Name",
       .write = "value",
       .stored = Stored{"Software\\VeilboxTest\\@\\New\\Deeper", "Name", kRegSz, Sz("value")}},
      {.what = "write of the empty text",
       .path = "Software\\VeilboxTest\\@\\Veilbox\\Name",
       .write = "",
       .stored = Stored{kKey.c_str(), "Name", kRegSz, Sz("")}},
      {.what = "write replaces a value of another type",
       .staged = {{kKey.c_str(), "CitectVer", kRegDword, std::string("\x07\0\0\0", 4)}},
       .path = "Software\\VeilboxTest\\@\\Veilbox\\citectver",
       .write = "7.2",
       .stored = Stored{kKey.c_str(), "CitectVer", kRegSz, Sz("7.2")}},
      {.what = "write with a trailing backslash sets the default value",
       .path = "Software\\VeilboxTest\\@\\Veilbox\\",
       .write = "default",
       .stored = Stored{kKey.c_str(), "", kRegSz, Sz("default")}},
      {.what = "write with a doubled backslash",
       .path = "Software\\VeilboxTest\\@\\\\Veilbox\\Name",
       .write = "v",
       .stored = Stored{kKey.c_str(), "Name", kRegSz, Sz("v")}},
      {.what = "write without a backslash has no key to store in",
       .path = "VeilboxTestName@",
       .write = "v",
       .status = "Error While writting to VeilboxTestName@",
       .stored = Stored{"", "VeilboxTestName@", 0, ""}},
      {.what = "write below a handle that is no root",
       .path = "Software\\VeilboxTest\\@\\Veilbox\\Name",
       .write = "v",
       .status = "Cannot Open given root key",
       .stored = Stored{kKey.c_str(), "Name", 0, ""},
       .root = 0x12345678u},
      {.what = "write under a root where no key may be created",
       .path = "Software\\VeilboxTest\\@\\Veilbox\\Name",
       .write = "v",
       .root = platform::kHkeyPerformanceData},
  };
  return cases;
}

TEST(RegPath, Table) {
  for (const RegCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    RegistrySandbox sandbox;
    for (const Staged& s : c.staged)
      ASSERT_TRUE(sandbox.Stage(kHkeyCurrentUser, s.key, s.name, s.type, s.data));
    const std::string path = sandbox.Expand(c.path);
    LastStatus = "stale";
    if (c.write) {
      WriteRegString(c.root, path, *c.write);
    } else {
      EXPECT_EQ(ReadRegString(c.root, path), c.result);
    }
    EXPECT_EQ(LastStatus, c.status.empty() ? kSuccessText : sandbox.Expand(c.status));
    if (c.stored) {
      std::uint32_t type = 0;
      std::string data;
      const bool found = sandbox.Fetch(kHkeyCurrentUser, c.stored->key,
                                       sandbox.Expand(c.stored->name), &type, &data);
      if (c.stored->type == 0) {
        EXPECT_FALSE(found) << "a value was written";
      } else {
        ASSERT_TRUE(found);
        EXPECT_EQ(type, c.stored->type);
        EXPECT_EQ(data, c.stored->data);
      }
    }
  }
}

// A value written by path reads back through the same path, whatever the
// case of the components.
TEST(RegPath, WriteThenRead) {
  RegistrySandbox sandbox;
  const std::string base = sandbox.Base();
  WriteRegString(kHkeyCurrentUser, base + "\\Forms\\FrmMainLeft", "-5");
  EXPECT_EQ(LastStatus, kSuccessText);
  EXPECT_EQ(ReadRegString(kHkeyCurrentUser, base + "\\FORMS\\frmmainleft"), "-5");
  EXPECT_EQ(LastStatus, kSuccessText);
}

}  // namespace
}  // namespace veilbox
