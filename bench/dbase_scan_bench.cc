// Scan speed (wall clock) of TDBase3Plus on a master table of 1,000,000 records (NAME C 16,
// PATH C 64), side by side in one run with shapelib's reader, Python's
// dbfread and a plain read of the file by cat. Prints records per second
// and the ratios to TDBase3Plus.
#include <benchmark/benchmark.h>

#ifdef VEILBOX_HAVE_SHAPELIB
#include <shapefil.h>
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "dbase/dbase3plus.h"
#include "testing/dbf_writer.h"

namespace {

constexpr int kRecords = 1000000;

// The table, written once per run into the temporary directory.
const std::string& TablePath() {
  static const std::string path = [] {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / "veilbox-dbase-scan-bench.dbf";
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    // The records are written one by one: the table is too big to build
    // in memory first.
    veilbox::testing::DbfBuilder table;
    table.fields = {{"NAME", 16}, {"PATH", 64}};
    table.count = kRecords;
    table.year = 126, table.month = 12, table.day = 10;
    table.reserved29 = 0;
    out << table.Header() << table.Descriptors();
    char name[17];
    for (int i = 0; i < kRecords; ++i) {
      std::snprintf(name, sizeof(name), "Project%07d", i);
      const std::string path = std::string("C:\\Citect\\User\\") + name + "\\" +
                               std::string(static_cast<std::size_t>(i % 23), 'x');
      out << table.Row(i % 10 == 3 ? '*' : ' ', {name, path});
    }
    out << '\x1A';
    return file.string();
  }();
  return path;
}

void VeilboxScan(benchmark::State& state) {
  std::size_t checksum = 0;
  std::int64_t records = 0;
  for (auto _ : state) {
    veilbox::TDBase3Plus table;
    table.SetFileName(TablePath());
    table.Open();
    std::string name, path;
    for (table.First(); !table.Eof(); table.Next()) {
      table.FieldValue("NAME", &name);
      table.FieldValue("PATH", &path);
      checksum += name.size() + path.size() + table.Deleted();
      ++records;
    }
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(records);
}
BENCHMARK(VeilboxScan)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

#ifdef VEILBOX_HAVE_SHAPELIB
void ShapelibScan(benchmark::State& state) {
  std::size_t checksum = 0;
  std::int64_t records = 0;
  for (auto _ : state) {
    DBFHandle dbf = DBFOpen(TablePath().c_str(), "rb");
    const int name_field = DBFGetFieldIndex(dbf, "NAME");
    const int path_field = DBFGetFieldIndex(dbf, "PATH");
    const int count = DBFGetRecordCount(dbf);
    std::string name, path;
    for (int i = 0; i < count; ++i) {
      name = DBFReadStringAttribute(dbf, i, name_field);
      path = DBFReadStringAttribute(dbf, i, path_field);
      checksum += name.size() + path.size() + DBFIsRecordDeleted(dbf, i);
      ++records;
    }
    DBFClose(dbf);
  }
  benchmark::DoNotOptimize(checksum);
  state.SetItemsProcessed(records);
}
BENCHMARK(ShapelibScan)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
#endif

// Runs a shell command once per iteration; items are the table's records.
void Command(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError(("failed: " + command).c_str());
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void PythonDbfread(benchmark::State& state) {
  Command(state,
          "/usr/bin/python3 -c 'import sys, dbfread\n"
          "n = 0\n"
          "for r in dbfread.DBF(sys.argv[1]): n += len(r[\"NAME\"]) + len(r[\"PATH\"])' " +
              TablePath());
}
BENCHMARK(PythonDbfread)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void CatToDevNull(benchmark::State& state) {
  Command(state, "cat " + TablePath() + " > /dev/null");
}
BENCHMARK(CatToDevNull)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Keeps each run's records per second for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto it = run.counters.find("items_per_second");
      if (it != run.counters.end() && !run.error_occurred)
        rates_[run.run_name.function_name] = it->second.value;
    }
  }
  void PrintRatios() const {
    auto self = rates_.find("VeilboxScan");
    if (self == rates_.end()) return;
    std::printf("\n%-32s %16s %22s\n", "reader", "records/s", "TDBase3Plus is x times");
    for (const auto& [name, rate] : rates_)
      std::printf("%-32s %16.0f %22.2f\n", name.c_str(), rate, self->second / rate);
  }

 private:
  std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TablePath();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  std::filesystem::remove(TablePath());
  benchmark::Shutdown();
  return 0;
}
