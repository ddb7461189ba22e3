#include "engine/time_manager.h"

#include <algorithm>

namespace tovrane {

MovePlan planMove(double left, double increment, int movesMade) {
  // What this move may spend at most: all that is left above the reserve,
  // less the allowance the clock will be charged for this move and the
  // fixed cost of the moves to come that their increments do not pay for.
  const int movesToCome = std::max(0, kMaxGameMoves - movesMade - 1);
  const double future = std::max(0.0, kMoveOverhead + kMoveFloor - increment) * movesToCome;
  const double usable = left - kClockReserve - kMoveOverhead - future;
  if (usable <= 0) return {};
  const double bonus = kIncrementShare * increment;
  MovePlan plan;
  plan.hardSeconds = std::min({kHardPerSoft * (usable / kMovesToGo + bonus), usable / 4 + bonus, usable});
  plan.softSeconds = std::min(usable / kMovesToGo + bonus, plan.hardSeconds);
  return plan;
}

}  // namespace tovrane
