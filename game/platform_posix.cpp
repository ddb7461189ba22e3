#include <sys/mman.h>
#include <time.h>

#include "game/platform.h"

namespace tovrane::platform {

void sleepMilliseconds(int milliseconds) {
  timespec wait{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0) {
  }
}

void adviseLargePages(void* memory, unsigned long long bytes) {
#ifdef MADV_HUGEPAGE
  madvise(memory, static_cast<size_t>(bytes), MADV_HUGEPAGE);
#else
  (void)memory;
  (void)bytes;
#endif
}

const char kBookFolder[] = "startgame/";

}  // namespace tovrane::platform
