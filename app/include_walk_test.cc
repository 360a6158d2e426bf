#include "app/include_walk.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/project_lookup.h"
#include "dbase/dbase3plus.h"
#include "sysutil/errors.h"
#include "sysutil/globals.h"
#include "sysutil/text_utils.h"
#include "testing/dbf_writer.h"
#include "testing/recording_ui.h"
#include "testing/test_support.h"

namespace veilbox {
namespace {

using veilbox::testing::MakeIncludeDbf;
using veilbox::testing::MakeMasterDbf;

// The master table's index, as the project look-up loads it; left empty
// when the table cannot be opened (the walk then ends on opening it).
MasterIndex LoadMasterIndex(const std::string& master_path) {
  MasterIndex index;
  auto master = std::make_unique<TDBase3Plus>();
  master->SetFileName(MasterTableName(master_path));
  try {
    master->Open();
    index.Load(std::move(master));
  } catch (const TableOpenError&) {
  }
  return index;
}

using veilbox::testing::RecordingUi;

// Projects below a scratch directory, each with its ProtectedFiles and
// its includes, and the master table that names them.
class IncludeWalkTest : public ::testing::Test {
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
    master_path_ = (dir_.path() / "master").string();
    std::vector<std::string> list;
    MasterIndex index = LoadMasterIndex(master_path_);
    IncludeWalk walk;
    walk.master_index = &index;
    walk.master_path = master_path_;
    CollectProtectedFiles(ui_, dir, list, walk);
    return list;
  }

  veilbox::testing::ScratchDir dir_;
  std::vector<veilbox::testing::DbfRecord> master_;
  std::string master_path_;
  RecordingUi ui_;
};

TEST_F(IncludeWalkTest, WalksDepthFirstAndEachDirectoryOnce) {
  Project("P", {"p.ci.Veilbox"}, {"A", "B"});
  Project("A", {"a.ci.Veilbox"}, {"C"});
  Project("B", {"b.ci.Veilbox"}, {});
  Project("C", {"c.ci.Veilbox"}, {"p", "B"});  // back to P, and B ahead of P's turn
  EXPECT_EQ(Collect(Dir("P")),
            (std::vector<std::string>{Entry("P", "p.ci.Veilbox"), Entry("A", "a.ci.Veilbox"),
                                      Entry("C", "c.ci.Veilbox"), Entry("B", "b.ci.Veilbox")}));
  EXPECT_TRUE(ui_.messages.empty());
}

TEST_F(IncludeWalkTest, AnUnknownIncludeEndsOnlyItsOwnTable) {
  Project("Q", {"q.ci.Veilbox"}, {"P", "B"});
  Project("P", {"p.ci.Veilbox"}, {"Nope", "A"});
  Project("A", {"a.ci.Veilbox"}, {});
  Project("B", {"b.ci.Veilbox"}, {});
  EXPECT_EQ(Collect(AddBackslash(Dir("Q"))),
            (std::vector<std::string>{Entry("Q", "q.ci.Veilbox"), Entry("P", "p.ci.Veilbox"),
                                      Entry("B", "b.ci.Veilbox")}));
  EXPECT_EQ(ui_.messages, std::vector<std::string>{"Unable to find include \"Nope\" in Table " +
                                                   AddBackslash(master_path_) + "Master.dbf."});
}

TEST_F(IncludeWalkTest, ATableThatCannotBeOpenedEndsTheRunWith249) {
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
    const std::string master_path = (dir.path() / "M").string();
    const std::string failing = c.include_table ? (dir.path() / "P").string() : master_path;
    RecordingUi ui;
    std::vector<std::string> list;
    MasterIndex index = LoadMasterIndex(master_path);
    IncludeWalk walk;
    walk.master_index = &index;
    walk.master_path = master_path;
    try {
      CollectProtectedFiles(ui, (dir.path() / "P").string(), list, walk);
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
TEST_F(IncludeWalkTest, IncludeChainDepth) {
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

}  // namespace
}  // namespace veilbox
