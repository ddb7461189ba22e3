#include "engine/time_manager.h"

#include <algorithm>

namespace tovrane {

double clockReserve(double base) { return std::clamp(kReserveShare * base, kMinReserve, kMaxReserve); }

MovePlan planMove(double left, double reserve, double increment, int movesMade, double lateness) {
  // What this move may spend at most: all that is left above the reserve,
  // less the allowance the clock will be charged for this move, how late
  // its answer may come, and the fixed cost of the moves to come that their
  // increments do not pay for.
  const int movesToCome = std::max(0, kMaxGameMoves - movesMade - 1);
  const double future = std::max(0.0, kMoveOverhead + kMoveFloor - increment) * movesToCome;
  const double usable = left - reserve - kMoveOverhead - kLatenessMargin * lateness - future;
  if (usable <= 0) return {};
  const double bonus = kIncrementShare * increment;
  MovePlan plan;
  plan.hardSeconds = std::min({kHardPerSoft * (usable / kMovesToGo + bonus), usable / 4 + bonus, usable});
  plan.softSeconds = std::min(usable / kMovesToGo + bonus, plan.hardSeconds);
  return plan;
}

void GameClock::charge(double seconds, double hardSeconds) {
  left_ += control_.increment - seconds - kMoveOverhead;
  ++moves_;
  lateness_ = std::max(lateness_ * kLatenessMemory, seconds - hardSeconds);
}

}  // namespace tovrane
