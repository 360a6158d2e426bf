// The master table's projects by name, for the include lookups of one
// compile run.
//
// Looking an include up by scanning master.dbf from its first record costs
// a pass over the whole table for every include record, which grows with
// the square of the plant's size. The index reads the table once, through
// the same component and in the same way as that scan (First, then Next
// until Eof, deleted records included), and keeps for every upper-cased
// name the directory of the first record in file order that carries it:
// each lookup gives the record that the scan from the first record would
// have stopped at.
#pragma once

#include <string>
#include <unordered_map>

namespace veilbox {

class TDBase3Plus;

class MasterIndex {
 public:
  // True once Load has run.
  bool loaded() const { return loaded_; }

  // Reads the records of an open master table from the first on. The
  // fields are read as the lookup reads them: "name" compared upper-cased
  // (a to z only), "path" taken as it stands; a table without one of them
  // gives empty texts.
  void Load(TDBase3Plus& master);

  // The "path" of the first record whose upper-cased "name" equals
  // name upper-cased, or null when no record carries it.
  const std::string* Find(const std::string& name) const;

 private:
  bool loaded_ = false;
  std::unordered_map<std::string, std::string> path_by_name_;
};

}  // namespace veilbox
