#include "engine/time_manager.h"

#include <algorithm>

namespace tovrane {

void GameClock::charge(double seconds, double hardSeconds) {
  left_ += control_.increment - seconds - kMoveOverhead;
  ++moves_;
  lateness_ = std::max(lateness_ * kLatenessMemory, seconds - hardSeconds);
}

}  // namespace tovrane
