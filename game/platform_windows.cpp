#include <windows.h>

#include "game/platform.h"

namespace tovrane::platform {

void sleepMilliseconds(int milliseconds) {
  Sleep(static_cast<DWORD>(milliseconds));
}

void adviseLargePages(void* /*memory*/, unsigned long long /*bytes*/) {}

const char kBookFolder[] = "startgame\\";

}  // namespace tovrane::platform
