#include "standin/reg_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace veilbox::standin {
namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

RegFile Parse(const std::string& text) {
  RegFile file;
  std::string err;
  EXPECT_TRUE(ParseRegFile(text, &file, &err)) << err << "\n" << text;
  return file;
}

std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

TEST(RegFile, ParsesValueForms) {
  struct Case {
    const char* what;
    std::string text;  // one file holding one value in key HKEY_USERS\K
    std::string name;
    std::uint32_t type;
    std::string data;
  };
  const std::string k = "[HKEY_USERS\\K]\r\n";
  const std::vector<Case> cases = {
      {"escapes", kHeader + k + "\"Q\"=\"say \\\"hi\\\" C:\\\\x\\\\\"\r\n", "Q", kRegSz,
       std::string("say \"hi\" C:\\x\\") + '\0'},
      {"escaped name", kHeader + k + "\"a\\\\b\\\"c\"=\"\"\r\n", "a\\b\"c", kRegSz,
       std::string(1, '\0')},
      {"default value", kHeader + k + "@=\"d\"\r\n", "", kRegSz, std::string("d") + '\0'},
      {"blanks around '='", kHeader + k + "\"v\" = \"d\"  \r\n", "v", kRegSz,
       std::string("d") + '\0'},
      {"dword", kHeader + k + "\"D\"=dword:0000002a\r\n", "D", kRegDword,
       std::string("\x2a\0\0\0", 4)},
      {"binary continued", kHeader + k + "\"B\"=hex:01,02,\\\r\n  ff,0\r\n", "B", kRegBinary,
       std::string("\x01\x02\xff\x00", 4)},
      {"empty hex", kHeader + k + "\"N\"=hex(0):\r\n", "N", kRegNone, ""},
      {"expand string in an 8-bit file", kHeader + k + "\"E\"=hex(2):25,50,80,00\r\n", "E",
       kRegExpandSz, std::string("%P\x80") + '\0'},
      {"expand string in a UTF-16 file", Utf16(kHeader + k + "\"E\"=hex(2):25,00,ac,20,00,00\r\n"),
       "E", kRegExpandSz, std::string("%\x80") + '\0'},
      {"REGEDIT4", "REGEDIT4\n\n[HKEY_USERS\\K]\n\"E\"=hex(2):25,50,00\n", "E", kRegExpandSz,
       std::string("%P") + '\0'},
      {"multi string", kHeader + k + "\"M\"=hex(7):61,00,62,00,00\r\n", "M", kRegMultiSz,
       std::string("a\0b\0\0", 5)},
      {"string as UTF-16", kHeader + k + "\"S\"=hex(1):61,00,00,00,e9,00,00,00\r\n", "S", kRegSz,
       std::string("a\0\xe9\0", 4)},
      {"other type", kHeader + k + "\"T\"=HEX(b):01\r\n", "T", 0xb, "\x01"},
      {"LF lines and comments",
       "Windows Registry Editor Version 5.00\n; note\n" +
           std::string("[HKEY_USERS\\K]\n# more\n\"v\"=\"x\"\n"),
       "v", kRegSz, std::string("x") + '\0'},
      {"UTF-16 file", Utf16(kHeader + k + "\"v\"=\"x\"\r\n"), "v", kRegSz, std::string("x") + '\0'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RegFile file = Parse(c.text);
    const RegFileKey* key = file.FindKey("hkey_users\\k");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->values.size(), 1u);
    EXPECT_EQ(key->values[0].name, c.name);
    EXPECT_EQ(key->values[0].type, c.type);
    EXPECT_EQ(key->values[0].data, c.data);
  }
}

TEST(RegFile, RejectsWhatIsNoRegistryFile) {
  for (const std::string& text :
       {std::string(), std::string("\r\n\r\n"), std::string("REGEDIT5\r\n"), "stray\r\n" + kHeader,
        Utf16(kHeader) + "x"}) {
    RegFile file;
    file.keys.push_back({"HKEY_USERS\\Stale", {}, {}, {}});
    std::string err;
    EXPECT_FALSE(ParseRegFile(text, &file, &err)) << text;
    EXPECT_FALSE(err.empty());
    EXPECT_TRUE(file.keys.empty()) << "a failed parse leaves an empty registry";
  }
}

// A line that cannot be read is skipped, as regedit skips it: the values
// around it stay, and so does the line itself when the file is written.
// After a key line that cannot be read, the values up to the next key line
// belong to no key.
TEST(RegFile, SkipsLinesItCannotRead) {
  const std::vector<std::string> bad = {
      "\"v\"=\"x\" ; a comment after the value",
      "\"v\"=\"unterminated",
      "\"v\"\"x\"",
      "\"v=\"x\"",
      "\"v\"=dword:xyz",
      "\"v\"=dword:123456789",
      "\"v\"=hex:0g",
      "\"v\"=hex:,01",
      "\"v\"=hex(zz):01",
      "\"v\"=hex(2",
      "\"v\"=text",
      "stray line",
      "; a comment",
  };
  for (const std::string& line : bad) {
    SCOPED_TRACE(line);
    const std::string text =
        kHeader + "[HKEY_USERS\\K]\r\n\"a\"=\"1\"\r\n" + line + "\r\n\"b\"=\"2\"\r\n";
    const RegFile file = Parse(text);
    const RegFileKey* key = file.FindKey("HKEY_USERS\\K");
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->values.size(), 2u);
    EXPECT_EQ(key->values[1].data, std::string("2") + '\0');
    EXPECT_NE(FormatRegFile(file).find(line + "\r\n"), std::string::npos);
  }
  for (const char* section : {"[HKEY_NOWHERE\\K]", "[HKLM\\K]", "[HKEY_USERS\\L",
                              "[HKEY_USERS\\a\\\\b]", "[HKEY_USERS\\a\\]"}) {
    SCOPED_TRACE(section);
    const RegFile file = Parse(kHeader + "\"outside\"=\"0\"\r\n[HKEY_USERS\\K]\r\n\"a\"=\"1\"\r\n" +
                               section + "\r\n\"b\"=\"2\"\r\n[HKEY_USERS\\M]\r\n\"c\"=\"3\"\r\n");
    ASSERT_EQ(file.keys.size(), 2u);
    EXPECT_EQ(file.keys[0].values.size(), 1u) << "b belongs to no key";
    EXPECT_EQ(file.keys[1].values.size(), 1u);
    EXPECT_EQ(file.unread.size(), 1u) << "a value before the first key";
  }
}

// A UTF-16 file stays UTF-16, and what was not changed is written back as
// it was read, characters outside code page 1252 included.
TEST(RegFile, EditingKeepsTheFilesOwnText) {
  // "Ωmega" (U+03A9) as a key name and in a value; LF line ends.
  const std::string omega = "\xA9\x03";
  std::string text = "\xFF\xFE";
  for (const std::string& part :
       {Utf16("Windows Registry Editor Version 5.00\n\n[HKEY_USERS\\").substr(2), omega,
        Utf16("mega]\n\"name\"=\"").substr(2), omega, Utf16("\"\n\"keep\" = dword:1\n").substr(2)})
    text += part;
  RegFile file = Parse(text);
  ASSERT_EQ(file.keys.size(), 1u);
  EXPECT_EQ(file.keys[0].path, "HKEY_USERS\\?mega");
  EXPECT_EQ(file.keys[0].values[0].data, std::string("?") + '\0') << "what an ANSI caller sees";
  file.keys[0].SetValue("new", kRegSz, std::string("\x80") + '\0');
  const std::string written = FormatRegFile(file);
  ASSERT_EQ(written.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(std::count(written.begin(), written.end(), '\xA9'), 2) << "both omegas survive";
  EXPECT_NE(written.find(Utf16("\"keep\" = dword:1\r\n").substr(2)), std::string::npos);
  EXPECT_NE(written.find(Utf16("\"new\"=\"").substr(2) + "\xAC\x20"), std::string::npos)
      << "a new value in UTF-16, the euro sign as U+20AC";
  const RegFile again = Parse(written);
  EXPECT_TRUE(again.utf16);
  EXPECT_EQ(again.keys[0].values.size(), 3u);
}

TEST(RegFile, DeletionsAndMerging) {
  const RegFile file = Parse(kHeader +
                             "[HKEY_CURRENT_USER\\Software\\A]\r\n\"x\"=\"1\"\r\n\"y\"=\"2\"\r\n"
                             "[HKEY_CURRENT_USER\\Software\\A\\Sub]\r\n"
                             "[HKEY_CURRENT_USER\\Software\\B]\r\n\"z\"=\"3\"\r\n"
                             "[-HKEY_CURRENT_USER\\Software\\B]\r\n\"ignored\"=\"4\"\r\n"
                             "[hkey_current_user\\SOFTWARE\\a]\r\n\"X\"=\"5\"\r\n\"y\"=-\r\n");
  EXPECT_FALSE(file.KeyExists("HKEY_CURRENT_USER\\Software\\B"));
  const RegFileKey* a = file.FindKey("HKEY_CURRENT_USER\\Software\\A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->path, "HKEY_CURRENT_USER\\Software\\A") << "first spelling kept";
  ASSERT_EQ(a->values.size(), 1u);
  EXPECT_EQ(a->values[0].name, "x") << "first spelling kept";
  EXPECT_EQ(a->values[0].data, std::string("5") + '\0');
  EXPECT_TRUE(file.KeyExists("hkey_current_user\\software"));
  EXPECT_FALSE(file.KeyExists("HKEY_CURRENT_USER\\Soft"));
}

TEST(RegFile, AddKeyKeepsTheSpellingOfExistingLevels) {
  RegFile file;
  file.AddKey("HKEY_LOCAL_MACHINE\\Software\\Talvoren");
  RegFileKey& key = file.AddKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\talvoren\\Veilbox");
  EXPECT_EQ(key.path, "HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox");
  EXPECT_EQ(file.keys.size(), 3u);
}

TEST(RegFile, FormatsWhatRegeditImports) {
  RegFile file;
  RegFileKey& key = file.AddKey("HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox");
  key.SetValue("CitectDir", kRegSz, std::string("C:\\Program Files\\Citect\\") + '\0');
  key.SetValue("Say", kRegSz, std::string("\"hi\"") + '\0');
  key.SetValue("Ver", kRegDword, std::string("\x2a\0\0\0", 4));
  key.SetValue("", kRegExpandSz, std::string("%A%") + '\0');
  key.SetValue("Bin", kRegBinary, "\x01\xff");
  key.SetValue("Cut", kRegSz, std::string("a\0b\0", 4));
  key.SetValue("Bare", kRegSz, "");
  EXPECT_EQ(FormatRegFile(file), kHeader +
                                     "[HKEY_LOCAL_MACHINE\\Software]\r\n\r\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\Talvoren]\r\n\r\n"
                                     "[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox]\r\n"
                                     "\"CitectDir\"=\"C:\\\\Program Files\\\\Citect\\\\\"\r\n"
                                     "\"Say\"=\"\\\"hi\\\"\"\r\n"
                                     "\"Ver\"=dword:0000002a\r\n"
                                     "@=hex(2):25,41,25,00\r\n"
                                     "\"Bin\"=hex:01,ff\r\n"
                                     "\"Cut\"=hex(1):61,00,00,00,62,00,00,00\r\n"
                                     "\"Bare\"=hex(1):\r\n"
                                     "\r\n");
}

TEST(RegFile, RoundTripsAwkwardValues) {
  RegFile file;
  RegFileKey& key = file.AddKey("HKEY_USERS\\odd ] name\\x");
  key.SetValue("line\nbreak\r", kRegSz, std::string("x\r\ny") + '\0');
  key.SetValue("high", kRegSz, std::string("\x80\x9f\xa0\xff") + '\0');
  key.SetValue("long", kRegBinary, std::string(200, '\x5a'));
  key.SetValue("short dword", kRegDword, "\x01");
  key.SetValue("odd type", 0x7fffffff, "zz");
  const std::string text = FormatRegFile(file);
  for (std::size_t pos = 0, end; (end = text.find("\r\n", pos)) != std::string::npos; pos = end + 2)
    EXPECT_LE(end - pos, 80u) << "lines stay short";
  RegFile parsed = Parse(text);
  for (RegFileKey& k : parsed.keys) {
    k.raw.clear();
    for (RegFileValue& v : k.values) v.raw.clear();
  }
  EXPECT_EQ(parsed, file);
}

}  // namespace
}  // namespace veilbox::standin
