// Whether an entry at a plain file's name is one the run may have
// written. Nothing else at such a name is ever deleted: a person's own
// hidden file, a restored source, a file put there after a run was killed
// are someone's, and are set aside or left in place.
#pragma once

#include <string>

namespace veilbox {

enum class PlainFileProof {
  kRuns,     // a hidden regular file with one name whose bytes are the plain
             // text of its ProtectedFile (name + ".Veilbox"), or the
             // beginning of it (a run killed while writing it)
  kNotRuns,  // anything else: someone's
  kUnknown,  // it could not be read (held open): neither, for now
};
PlainFileProof ProvePlainFile(const std::string& name);

}  // namespace veilbox
