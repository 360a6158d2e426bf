#include "testing/e2e/e2e_scenario.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/files.h"
#include "platform/profile.h"
#include "protect/protected_file.h"
#include "sysutil/errors.h"
#include "sysutil/text_utils.h"
#include "testing/e2e/e2e_machine.h"
#include "testing/protected_file_builder.h"
#include "testing/record_text.h"
#include "testing/test_support.h"

namespace veilbox::e2e {

std::filesystem::path Native(const std::string& windows_path) {
  return platform::NativePath(windows_path);
}

void Write(const std::string& windows_path, const std::string& bytes) {
  const std::filesystem::path path = Native(windows_path);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The ProtectedFile bytes of a plain file's lines.
std::string Protect(const std::vector<std::string>& lines, const std::string& key) {
  return testing::ProtectedFileBytes(lines, key);
}

std::string PlainText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// A ProtectedFile whose first body line is not a cipher text, and the
// error text its decryption gives.
std::string MalformedProtected() {
  std::string bytes = Protect({"ok"});
  bytes += "not a cipher line\r\n";
  return bytes;
}

std::string DecryptErrorText(std::string bytes) {
  try {
    DecryptProtectedText(&bytes);
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

std::string CitectIni(const std::string& user, const std::string& bin,
                      const std::optional<std::string>& compileok) {
  std::string text = "[CTEDIT]\r\n";
  if (!user.empty()) text += "USER=" + user + "\r\n";
  if (!bin.empty()) text += "BIN=" + bin + "\r\n";
  if (compileok) text += "COMPILEOKMESSAGE=" + *compileok + "\r\n";
  return text;
}

namespace {

std::string RegString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string Upper(std::string text) { return UpperAscii(text); }

std::string SamePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return Upper(path);
}

}  // namespace

// Every entry below a directory, links not followed: relative name -> what
// it is (a link's target; a file's attributes, number of names, time of
// last change and bytes).
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> files;
  const std::filesystem::path native = platform::NativePath(root);
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(native, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::string relative = std::filesystem::relative(it->path(), native).string();
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const std::filesystem::file_status status = it->symlink_status(ec);
    if (std::filesystem::is_symlink(status)) {
      files[relative] = "link to " + std::filesystem::read_symlink(it->path(), ec).string();
      continue;
    }
    if (!std::filesystem::is_regular_file(status)) {
      if (!std::filesystem::is_directory(status)) files[relative] = "special";
      continue;
    }
    const std::uint32_t attributes =
        platform::FileAttributes(it->path().string()) & ~platform::kAttrArchive;
    std::string bytes = veilbox::testing::ReadFileBytes(it->path());
    if (bytes.size() > 4096) bytes = "(" + std::to_string(bytes.size()) + " bytes)";
    const auto time = std::filesystem::last_write_time(it->path(), ec).time_since_epoch().count();
    files[relative] = "attributes " + std::to_string(attributes) + ", names " +
                      std::to_string(std::filesystem::hard_link_count(it->path(), ec)) + ", time " +
                      std::to_string(time) + ": " + bytes;
  }
  return files;
}

// The regular files below a directory that hold the secret line.
std::vector<std::string> FilesHoldingTheSecret(const std::string& root) {
  std::vector<std::string> found;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(platform::NativePath(root), ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!std::filesystem::is_regular_file(it->symlink_status(ec))) continue;
    if (veilbox::testing::ReadFileBytes(it->path()).find(kSecret) != std::string::npos)
      found.push_back(it->path().string());
  }
  return found;
}

void LayOutSharedInclude() {
  Write(kUser + "\\master.dbf",
        veilbox::testing::MakeMasterDbf(
            {{{"Solo", Proj("Solo")}}, {{"Other", Proj("Other")}}, {{"Shared", Proj("Shared")}}}));
  for (const char* name : {"Solo", "Other", "Shared"}) {
    Write(Proj(name) + "\\" + name + ".ci.Veilbox", Protect({name}));
  }
  for (const char* name : {"Solo", "Other"}) {
    Write(Proj(name) + "\\Include.dbf", veilbox::testing::MakeIncludeDbf({{{"Shared"}}}));
  }
}

std::string StageSettings(Machine& machine, const Install& setup) {
  const std::string reg_header = "Windows Registry Editor Version 5.00\r\n\r\n";
  const auto settings_reg = [&](const std::map<std::string, std::string>& values) {
    std::string reg = reg_header + "[HKEY_LOCAL_MACHINE\\Software\\Talvoren\\Veilbox]\r\n";
    for (const auto& [name, value] : values) {
      reg += RegString(name) + "=" + RegString(value) + "\r\n";
    }
    return reg + "\r\n";
  };
  if (setup.registry_in_32_bit_view)
    machine.ImportRegistry(settings_reg(setup.registry), RegView::k32);
  if (setup.registry_64) machine.ImportRegistry(settings_reg(*setup.registry_64), RegView::k64);
  if (!setup.registry_extra.empty()) {
    machine.ImportRegistry(reg_header + setup.registry_extra, RegView::kProgram);
  }

  const std::string windows_dir = AddBackslash(machine.WindowsDir());
  for (const auto& [name, text] : setup.settings) {
    if (text) machine.WriteOutsideFile(windows_dir + name, *text);
  }
  return windows_dir;
}

std::string LayOut(Machine& machine, const Install& setup) {
  const std::string windows_dir = StageSettings(machine, setup);
  // Master table, projects, compiler.
  const auto write = [&](const std::string& relative, const std::string& bytes) {
    const std::filesystem::path path = platform::NativePath(kRoot + "\\" + relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  };
  if (setup.master_present) {
    write("Citect\\User\\master.dbf", veilbox::testing::MakeMasterDbf(setup.master));
  }
  for (const auto& [relative, bytes] : setup.files) write(relative, bytes);
  {
    const std::filesystem::path compiler = platform::NativePath(kBin + "\\ctcomp.exe");
    std::filesystem::create_directories(compiler.parent_path());
    std::filesystem::copy_file(veilbox::testing::HelperPath("fake-compiler"), compiler,
                               std::filesystem::copy_options::overwrite_existing);
  }
  for (const std::string& relative : setup.hidden) {
    platform::SetAttributes(kRoot + "\\" + relative, platform::kAttrHidden);
  }
  for (const auto& [relative, attributes] : setup.attributes) {
    platform::SetAttributes(kRoot + "\\" + relative, attributes);
  }
  return windows_dir;
}

void RunScenario(const Scenario& sc) {
  Machine machine(kRoot);
  Install setup;
  sc.change(setup);
  const std::string windows_dir = LayOut(machine, setup);
  if (sc.arrange) sc.arrange();
  machine.WriteOutsideFile(kRecord, "");
  std::filesystem::remove(platform::NativePath(kRecord));

  Machine::SetEnv("VEILBOX_FAKE_RECORD", kRecord);
  Machine::SetEnv("VEILBOX_FAKE_ROOT", kRoot + "\\Proj");
  Machine::SetEnv("VEILBOX_FAKE_EXIT", std::to_string(sc.compiler_exit));
  Machine::SetEnv("VEILBOX_FAKE_INI", setup.compiler_settings == "Citect.ini"
                                          ? setup.compiler_settings
                                          : windows_dir + setup.compiler_settings);

  for (const char* name : {"VEILBOX_FAKE_READONLY", "VEILBOX_FAKE_WAIT_FOR"})
    Machine::SetEnv(name, "");
  for (const auto& [name, value] : sc.compiler_env) Machine::SetEnv(name, value);

  const auto before = Snapshot(kRoot);
  const auto outside_before = Snapshot(kOutside);
  std::thread beside;
  if (sc.beside) beside = std::thread(sc.beside);
  const RunResult run = machine.RunVeilbox(sc.args);
  if (beside.joinable()) beside.join();

  EXPECT_EQ(run.exit_code, sc.exit_code);
  EXPECT_TRUE(run.problems.empty()) << ::testing::PrintToString(run.problems);
  std::vector<std::string> boxes;
  for (const Box& box : run.boxes) boxes.push_back(box.caption + ": " + box.text);
  std::vector<std::string> expected_boxes;
  for (const std::string& box : sc.boxes) {
    // {NATIVE:path} stands for the machine's own name of a Windows path.
    std::string text = box;
    for (std::size_t at = text.find("{NATIVE:"); at != std::string::npos;
         at = text.find("{NATIVE:", at)) {
      const std::size_t end = text.find('}', at);
      if (end == std::string::npos) break;
      const std::string native = Native(text.substr(at + 8, end - at - 8)).string();
      text.replace(at, end + 1 - at, native);
      at += native.size();
    }
    expected_boxes.push_back(Replace(Replace(text, "{WIN}", windows_dir), "{BAD}",
                                     DecryptErrorText(MalformedProtected())));
  }
  EXPECT_EQ(boxes, expected_boxes);

  // What the compiler saw.
  const std::string record = veilbox::testing::ReadFileBytes(platform::NativePath(kRecord));
  EXPECT_EQ(!record.empty(), sc.compiled);
  if (sc.compiled && !record.empty()) {
    std::vector<std::string> args;
    std::vector<Seen> seen;
    std::string cwd, compileok;
    for (const auto& [key, value] : veilbox::testing::ParseRecords(record)) {
      if (key == "arg") args.push_back(value);
      if (key == "cwd") cwd = value;
      if (key == "plain") seen.push_back({value, ""});
      if (key == "content") seen.back().content = value;
      if (key == "hidden" && value != "1" &&
          Upper(seen.back().path).find("NOTES") == std::string::npos) {
        ADD_FAILURE() << seen.back().path << " is not hidden";
      }
      if (key == "compileok") compileok = value;
    }
    EXPECT_EQ(args, sc.compiler_args.value_or(sc.args));
    EXPECT_EQ(SamePath(cwd), SamePath(platform::NativePath(kBin)));
    ASSERT_EQ(seen.size(), sc.seen.size()) << record;
    for (std::size_t i = 0; i < seen.size(); ++i) {
      EXPECT_EQ(Upper("Proj\\" + seen[i].path), Upper(sc.seen[i].path));
      EXPECT_EQ(seen[i].content, sc.seen[i].content) << seen[i].path;
    }
    EXPECT_EQ(compileok, sc.compileok_seen);
  }

  // The settings file as the run left it, and the tree as it was.
  const std::string settings = setup.compiler_settings == "Citect.ini"
                                   ? windows_dir + "Citect.ini"
                                   : windows_dir + setup.compiler_settings;
  if (setup.settings[setup.compiler_settings]) {
    EXPECT_EQ(platform::GetProfileValue("CTEDIT", "COMPILEOKMESSAGE", "(missing)", settings),
              sc.compileok_after);
  }
  auto expected_after = before;
  for (std::string removed : sc.removed) {
    std::replace(removed.begin(), removed.end(), '\\', '/');
    EXPECT_EQ(expected_after.erase(removed), 1u) << removed;
  }
  if (sc.then) sc.then(machine);
  EXPECT_EQ(Snapshot(kRoot), expected_after);
  EXPECT_EQ(Snapshot(kOutside), outside_before);
  for (const std::string& root : {kRoot, kOutside})
    EXPECT_EQ(FilesHoldingTheSecret(root), std::vector<std::string>{}) << root;
}

}  // namespace veilbox::e2e
