#include "app/master_index.h"

#include "dbase/dbase3plus.h"
#include "sysutil/text_utils.h"

namespace veilbox {

void MasterIndex::Load(TDBase3Plus& master) {
  path_by_name_.clear();
  master.First();
  while (!master.Eof()) {
    std::string name;
    master.FieldValue("name", &name);
    // The first record of a name wins: later ones are never reached.
    if (auto [it, inserted] = path_by_name_.try_emplace(UpperAscii(name)); inserted) {
      master.FieldValue("path", &it->second);
    }
    master.Next();
  }
  loaded_ = true;
}

const std::string* MasterIndex::Find(const std::string& name) const {
  auto it = path_by_name_.find(UpperAscii(name));
  return it == path_by_name_.end() ? nullptr : &it->second;
}

}  // namespace veilbox
