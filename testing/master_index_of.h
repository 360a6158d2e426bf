// The master index of a table file, opened as the run opens it, for the
// tests of the index.
#pragma once

#include <memory>
#include <string>

#include "app/master_index.h"
#include "dbase/dbase3plus.h"

namespace veilbox::testing {

inline MasterIndex MasterIndexOf(const std::string& file, unsigned workers = 1) {
  auto master = std::make_unique<TDBase3Plus>();
  master->SetFileName(file);
  master->Open();
  MasterIndex index;
  index.Load(std::move(master), workers);
  return index;
}

}  // namespace veilbox::testing
