#include "app/plain_file_proof.h"

#include "platform/files.h"
#include "protect/protected_file.h"
#include "protect/protected_file_name.h"
#include "sysutil/errors.h"

namespace veilbox {

PlainFileProof ProvePlainFile(const std::string& name) {
  platform::EntryInfo info;
  std::uint32_t error = 0;
  // Not looked at is not known: what is at the name may well be the run's.
  if (!platform::InspectEntry(name, &info, &error)) return PlainFileProof::kUnknown;
  if (info.kind != platform::EntryKind::kFile || (info.attributes & platform::kAttrHidden) == 0 ||
      info.links != 1)
    return PlainFileProof::kNotRuns;
  std::string plain, plain_text;
  if (!platform::ReadWholeFile(name, platform::Share::kReadWrite, &plain, &error) ||
      !platform::ReadWholeFile(name + kProtectedExtension, platform::Share::kReadWrite, &plain_text,
                               &error))
    return PlainFileProof::kUnknown;
  try {
    // The clean-up of a run that is ending runs this too: it must finish.
    if (!DecryptProtectedText(&plain_text, nullptr, false)) return PlainFileProof::kNotRuns;
  } catch (const Error&) {
    return PlainFileProof::kNotRuns;  // no plain text to match
  }
  return plain.size() <= plain_text.size() && plain_text.compare(0, plain.size(), plain) == 0
             ? PlainFileProof::kRuns
             : PlainFileProof::kNotRuns;
}

}  // namespace veilbox
