// Screen size of the platform seam: GetSystemMetrics(SM_CXSCREEN) and
// GetSystemMetrics(SM_CYSCREEN); a fixed 1920 x 1080 in the POSIX stand-in.
#pragma once

namespace veilbox::platform {

int ScreenWidth();
int ScreenHeight();

}  // namespace veilbox::platform
