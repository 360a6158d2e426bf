// The process-wide texts and handles that the whole program shares: the
// status of the last reporting operation, its success text and the
// not-found sentinel, the registry root and the placement base path. The
// compile run's own settings are a value (app/run_settings.h).
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace veilbox {

using platform::kHkeyClassesRoot;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;
using platform::kHkeyUsers;
using platform::RegistryRoot;

// "Success...123454" followed by the byte 0xA1 (17 bytes).
extern const std::string kSuccessText;
// "Not Found...12345" followed by the byte 0xA1 (18 bytes).
extern const std::string kNotFound;

// Outcome of the last operation that reports one. Starts empty.
extern std::string LastStatus;
// Root passed to every registry read and write: HKEY_CURRENT_USER from
// start-up, HKEY_LOCAL_MACHINE once the compile run has begun.
extern RegistryRoot RegRoot;
// "Software\Talvoren\" + the application's default title.
extern std::string RegBasePath;

}  // namespace veilbox
