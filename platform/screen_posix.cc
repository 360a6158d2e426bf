#include "platform/screen.h"

namespace veilbox::platform {

int ScreenWidth() { return 1920; }
int ScreenHeight() { return 1080; }

}  // namespace veilbox::platform
