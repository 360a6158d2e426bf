// What a window message handler let escape, carried past the system's
// message dispatch (which C++ exceptions must not cross) to the loop that
// dispatched the message: the main window's loop or
// ProcessPendingMessages, whichever comes first, raises it again.
#pragma once

#include <exception>

namespace veilbox::platform::internal {

inline std::exception_ptr& EscapedException() {
  thread_local std::exception_ptr escaped;
  return escaped;
}

// Raises the escaped exception, if there is one, and clears the slot.
inline void RethrowEscapedException() {
  if (std::exception_ptr escaped = EscapedException()) {
    EscapedException() = nullptr;
    std::rethrow_exception(escaped);
  }
}

}  // namespace veilbox::platform::internal
