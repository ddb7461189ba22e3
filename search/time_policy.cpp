#include "search/time_policy.h"

namespace tovrane {

MovePlan budgetPlan(double seconds) {
  const double soft = seconds * kSoftShare;
  const double hard = std::max(seconds * kMinHardShare, seconds * kHardShare - kReplyReserveSeconds);
  return {soft, std::max(soft, hard)};
}

double clockReserve(double base) { return std::clamp(kReserveShare * base, kMinReserve, kMaxReserve); }

MovePlan planMove(double left, double reserve, double increment, int movesMade, double lateness) {
  // What this move may spend at most: all that is left above the reserve,
  // less the allowance the clock will be charged for this move, how late
  // its answer may come, and the fixed cost of the moves still expected
  // that their increments do not pay for.
  const int movesToCome = std::max(kMinMovesToCome, kExpectedGameMoves - movesMade - 1);
  const double future = std::max(0.0, kMoveOverhead + kMoveFloor - increment) * movesToCome;
  const double usable = left - reserve - kMoveOverhead - kLatenessMargin * lateness - future;
  if (usable <= 0) return {};
  const double bonus = kIncrementShare * increment;
  // Sudden death (an increment that does not even pay the fixed cost): what
  // may be used is spread over the moves still expected.
  const bool suddenDeath = increment < kMoveOverhead + kMoveFloor;
  const int movesToGo = suddenDeath ? std::max(kMovesToGo, kExpectedGameMoves - movesMade) : kMovesToGo;
  const double share = usable / movesToGo + bonus;
  MovePlan plan;
  plan.hardSeconds = std::min({kHardPerSoft * share, kMaxMoveShare * usable + bonus, usable});
  plan.softSeconds = std::min(share, plan.hardSeconds);
  return plan;
}

MovePlan cappedPlan(const MovePlan& plan, double capSeconds) {
  const MovePlan cap = budgetPlan(capSeconds);
  return {std::min(plan.softSeconds, cap.softSeconds), std::min(plan.hardSeconds, cap.hardSeconds)};
}

}  // namespace tovrane
