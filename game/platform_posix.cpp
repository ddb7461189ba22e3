#include <time.h>

#include "game/platform.h"

namespace tovrane::platform {

void sleepMilliseconds(int milliseconds) {
  timespec wait{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0) {
  }
}

const char kBookFolder[] = "startgame/";

}  // namespace tovrane::platform
