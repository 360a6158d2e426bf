#include <windows.h>

#include "platform/escaped_exception.h"
#include "platform/message_loop.h"

namespace veilbox::platform {

void ProcessPendingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    internal::RethrowEscapedException();
  }
}

}  // namespace veilbox::platform
