#include <windows.h>

#include "game/platform.h"

namespace tovrane::platform {

void sleepMilliseconds(int milliseconds) {
  Sleep(static_cast<DWORD>(milliseconds));
}

const char kBookFolder[] = "startgame\\";

}  // namespace tovrane::platform
