#include <windows.h>

#include "platform/screen.h"

namespace veilbox::platform {

int ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }
int ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

}  // namespace veilbox::platform
