#include "app/protected_file_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "protect/protected_file.h"
#include "sysutil/errors.h"
#include "sysutil/globals.h"
#include "sysutil/text_utils.h"
#include "testing/dbf_writer.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

using veilbox::testing::MakeIncludeDbf;
using veilbox::testing::MakeMasterDbf;

class RecordingUi : public RunUi {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowErrorDialog(const std::string& text) override { messages.push_back("Error: " + text); }
  void RestorePlacement() override {}
  void HideWindow() override {}
  std::vector<std::string> messages;
};

// Projects below a scratch directory, each with its ProtectedFiles and
// its includes, and the master table that names them.
class PassTest : public ::testing::Test {
 protected:
  void Project(const std::string& name, const std::vector<std::string>& files,
               const std::vector<std::string>& includes) {
    for (const std::string& file : files) dir_.Write(name + "/" + file, "x");
    if (!includes.empty()) {
      std::vector<veilbox::testing::DbfRecord> records;
      for (const std::string& include : includes) records.push_back({{include}});
      dir_.Write(name + "/Include.dbf", MakeIncludeDbf(records));
    }
    master_.push_back({{name, Dir(name)}});
  }
  std::string Dir(const std::string& name) const { return (dir_.path() / name).string(); }
  std::string Entry(const std::string& project, const std::string& file) const {
    return UpperAscii(AddBackslash(Dir(project)) + file);
  }
  std::vector<std::string> Collect(const std::string& dir) {
    dir_.Write("master/master.dbf", MakeMasterDbf(master_));
    MasterPath = (dir_.path() / "master").string();
    std::vector<std::string> list;
    WalkedDirectories walked;
    MasterIndex master_index;
    CollectProtectedFiles(ui_, dir, true, list, walked, master_index);
    return list;
  }

  veilbox::testing::ScratchDir dir_;
  std::vector<veilbox::testing::DbfRecord> master_;
  RecordingUi ui_;
};

TEST_F(PassTest, WalksDepthFirstAndEachDirectoryOnce) {
  Project("P", {"p.ci.Veilbox"}, {"A", "B"});
  Project("A", {"a.ci.Veilbox"}, {"C"});
  Project("B", {"b.ci.Veilbox"}, {});
  Project("C", {"c.ci.Veilbox"}, {"p", "B"});  // back to P, and B ahead of P's turn
  EXPECT_EQ(Collect(Dir("P")),
            (std::vector<std::string>{Entry("P", "p.ci.Veilbox"), Entry("A", "a.ci.Veilbox"),
                                      Entry("C", "c.ci.Veilbox"), Entry("B", "b.ci.Veilbox")}));
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(PassTest, AnUnknownIncludeEndsOnlyItsOwnTable) {
  Project("Q", {"q.ci.Veilbox"}, {"P", "B"});
  Project("P", {"p.ci.Veilbox"}, {"Nope", "A"});
  Project("A", {"a.ci.Veilbox"}, {});
  Project("B", {"b.ci.Veilbox"}, {});
  EXPECT_EQ(Collect(AddBackslash(Dir("Q"))),
            (std::vector<std::string>{Entry("Q", "q.ci.Veilbox"), Entry("P", "p.ci.Veilbox"),
                                      Entry("B", "b.ci.Veilbox")}));
  EXPECT_EQ(ui_.messages, std::vector<std::string>{"Unable to find include \"Nope\" in Table " +
                                                   AddBackslash(MasterPath) + "Master.dbf."});
}

TEST_F(PassTest, ATableThatCannotBeOpenedEndsTheRunWith249) {
  struct Case {
    const char* include_table;  // bytes of P's Include.dbf
    bool master_present;
    const char* message_tail;  // after "Error : Unable to open "
  };
  const Case cases[] = {
      {"short", true, "Include.dbf."},
      {nullptr, false, "master.dbf"},
  };
  for (const Case& c : cases) {
    veilbox::testing::ScratchDir dir;
    dir.Write("P/Include.dbf", c.include_table ? c.include_table : MakeIncludeDbf({{{"A"}}}));
    if (c.master_present) dir.Write("M/master.dbf", MakeMasterDbf({}));
    MasterPath = (dir.path() / "M").string();
    const std::string failing = c.include_table ? (dir.path() / "P").string() : MasterPath;
    RecordingUi ui;
    std::vector<std::string> list;
    WalkedDirectories walked;
    MasterIndex master_index;
    try {
      CollectProtectedFiles(ui, (dir.path() / "P").string(), true, list, walked, master_index);
      ADD_FAILURE() << "the run went on: " << c.message_tail;
    } catch (const RunEnded& end) {
      EXPECT_EQ(end.code(), 249);
    }
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Error : Unable to open " +
                                                    AddBackslash(failing) + c.message_tail});
  }
}

// A chain of includes is walked to its deepest allowed level; one level
// more ends the run like a table that cannot be opened, never with a stack
// overflow or running out of handles.
TEST_F(PassTest, IncludeChainDepth) {
  const auto name = [](int level) {
    std::string text = "L";  // appended, not "L" + ...: GCC 12 warns wrongly on that
    return text.append(std::to_string(level));
  };
  for (int level = 0; level < kMaxIncludeDepth; ++level) {
    Project(name(level), {"f.ci.Veilbox"}, {name(level + 1)});
  }
  Project(name(kMaxIncludeDepth), {"f.ci.Veilbox"}, {});
  EXPECT_EQ(Collect(Dir(name(0))).size(), static_cast<std::size_t>(kMaxIncludeDepth) + 1);
  EXPECT_TRUE(ui_.messages.empty());

  dir_.Write(name(kMaxIncludeDepth) + "/Include.dbf", MakeIncludeDbf({{{name(0)}}}));
  try {
    Collect(Dir(name(0)));
    ADD_FAILURE() << "the run went on";
  } catch (const RunEnded& end) {
    EXPECT_EQ(end.code(), 249);
  }
  EXPECT_EQ(ui_.messages,
            std::vector<std::string>{"Error : Unable to open " +
                                     AddBackslash(Dir(name(kMaxIncludeDepth))) + "Include.dbf."});
}

// The decryption loop on one worker and on several: the same plain files,
// the same first failure in the collected order, and nothing left behind.
TEST_F(PassTest, DecryptionGivesTheSameOutcomeWhateverTheWorkers) {
  TextList header;
  for (const char* line : {"Veilbox V1.0. See x for more info", "", "key", "", ""})
    header.Add(line);
  std::vector<std::string> collected;
  for (int i = 0; i < 24; ++i) {
    TextList body;
    body.Add("line of file " + std::to_string(i));
    std::string name = "F";  // appended, not "F" + ...: GCC 12 warns wrongly on that
    name.append(std::to_string(i)).append(".CI.VEILBOX");
    dir_.Write(name, EncryptProtectedText(header, body));
    collected.push_back(UpperAscii(AddBackslash(dir_.str()) + name));
  }
  collected.push_back(collected[3]);  // a repeat is decrypted once
  const auto plain_files = [&] {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      const std::string name = entry.path().filename().string();
      if (name.size() < 8 || name.substr(name.size() - 8) != ".VEILBOX") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  };

  for (unsigned workers : {1u, 2u, 8u}) {
    WrittenPlainFiles written;
    DecryptCollected(ui_, collected, written, workers);
    EXPECT_EQ(written.names().size(), 24u) << workers;
    EXPECT_EQ(plain_files().size(), 24u) << workers;
  }
  EXPECT_TRUE(plain_files().empty());

  const std::string bad = EncryptProtectedText(header, TextList()) + "not a cipher line\r\n";
  dir_.Write("F11.CI.VEILBOX", bad);
  dir_.Write("F22.CI.VEILBOX", bad);
  for (int round = 0; round < 2; ++round) {
    const std::string failing = collected[round == 0 ? 11 : 22];
    for (unsigned workers : {1u, 2u, 8u}) {
      ui_.messages.clear();
      WrittenPlainFiles written;
      try {
        DecryptCollected(ui_, collected, written, workers);
        ADD_FAILURE() << "the run went on";
      } catch (const RunEnded& end) {
        EXPECT_EQ(end.code(), 251);
      }
      EXPECT_EQ(ui_.messages, std::vector<std::string>{"Unable to decrypt " + failing +
                                                       ": '$no' is not a valid integer value"})
          << workers;
      EXPECT_TRUE(plain_files().empty()) << workers;
    }
    dir_.Write("F11.CI.VEILBOX", EncryptProtectedText(header, TextList()));
  }
}

}  // namespace
}  // namespace veilbox
