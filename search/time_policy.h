#pragma once
// engine-pro's use of time, all in one place: the plan of one move under a
// fixed time per move (--movetime), on a game clock (--clock, kept by
// engine/time_manager.h), both at once, and how far an unsettled search may
// stretch its plan. Every constant of the policy is named here once.

#include <algorithm>
#include <cstdint>

namespace tovrane {

// One move's time: no iteration starts after softSeconds, the search stops
// at hardSeconds. Both 0: the search plays the first move it finds.
struct MovePlan {
  double softSeconds = 0;
  double hardSeconds = 0;
};

// ---- A fixed time per move (--movetime S) ----
// Time not used is lost: no iteration starts after kSoftShare of S (unless
// the search is unsettled), the search stops at kHardShare of S less the
// time the reply needs to reach the referee, but not before kMinHardShare.
inline constexpr double kSoftShare = 0.55;
inline constexpr double kHardShare = 0.92;
inline constexpr double kMinHardShare = 0.5;
inline constexpr double kReplyReserveSeconds = 0.003;

MovePlan budgetPlan(double seconds);

// ---- A game clock (--clock BASE+INC) ----
// Never planned into: this share of the base, at least kMinReserve and at
// most kMaxReserve seconds. It stands between a stalled answer and a flag,
// and pays for the moves played at the floor once the game outlasts its plan.
inline constexpr double kReserveShare = 0.2;
inline constexpr double kMinReserve = 0.05;
inline constexpr double kMaxReserve = 1.0;
// Charged per move on top of the measured time: the part of the referee's
// charge that the program cannot see.
inline constexpr double kMoveOverhead = 0.005;
// The least a move takes as measured, however small its plan.
inline constexpr double kMoveFloor = 0.001;
// The moves a side is expected to play in a game: where the increment does
// not pay for a move's fixed cost (overhead and floor), that cost is kept
// back for every move still expected, and at least kMinMovesToCome. A game
// longer than that plays its last moves at the floor on the reserve (the
// longest game, 200 moves a side at the 400-ply cap, then still fits at a
// base of 1.2 s or more).
inline constexpr int kExpectedGameMoves = 60;
inline constexpr int kMinMovesToCome = 10;
// The soft limit is what may be used shared among kMovesToGo moves (under
// sudden death: among the moves still expected, if more), plus
// kIncrementShare of the increment.
inline constexpr int kMovesToGo = 25;
inline constexpr double kIncrementShare = 0.7;
// The hard limit is at most this many soft limits, and at most a
// kMaxMoveShare of what may be used (plus that part of the increment).
inline constexpr double kHardPerSoft = 4;
inline constexpr double kMaxMoveShare = 0.25;
// How late answers come past the hard limit: the latest of the recent ones,
// each move's estimate this share of the one before unless a later answer
// raises it.
inline constexpr double kLatenessMemory = 0.98;
// Kept back for the next answer: this many times that lateness, as stalls
// come in runs on a busy machine.
inline constexpr double kLatenessMargin = 2;

// The reserve for a clock of base seconds.
double clockReserve(double base);

// The plan for one move with left seconds on the clock, reserve kept back,
// increment to come after it, movesMade moves of this game made already,
// and answers coming up to lateness seconds after the hard limit. Both
// limits 0 when nothing is left above the reserves: the floor.
MovePlan planMove(double left, double reserve, double increment, int movesMade, double lateness);

// A clock's plan with a cap on any one move (--clock with --movetime): no
// more than the cap's own plan.
MovePlan cappedPlan(const MovePlan& plan, double capSeconds);

// ---- A node limit (--nodes) ----
// The node count decides alone; the clock only guards against a runaway.
inline constexpr double kRunawaySeconds = 3600;

// ---- Within a move: an unsettled search goes on longer ----
// A best move that keeps changing between iterations, or a score that has
// just fallen, says the position is not settled yet: the soft limit then
// grows, up to the plan's hard limit (which the plan made safe to reach).
//
// Each iteration's change of best move counts 1; older ones count half as
// much per iteration since.
inline constexpr double kChangeMemory = 0.5;
// The soft limit grows by this share per (weighted) change of best move ...
inline constexpr double kChangeStretch = 0.6;
// ... and by kDropStretch for a fall of the score of at least kSmallDrop
// (a quarter of a piece) since the iteration before, twice that for one of
// at least kBigDrop.
inline constexpr int32_t kSmallDrop = 25;
inline constexpr int32_t kBigDrop = 75;
inline constexpr double kDropStretch = 0.5;
// At most this many soft limits, and never past the hard limit.
inline constexpr double kMaxStretch = 3;

struct IterationTrend {
  double changes = 0;  // weighted count of recent best-move changes
  int32_t drop = 0;    // how far the score fell in the last iteration (0 if it rose)

  // One more iteration finished, its best move changed or not, its score
  // now score after previous.
  void iterationDone(bool moveChanged, int32_t previous, int32_t score) {
    changes = changes * kChangeMemory + (moveChanged ? 1 : 0);
    drop = std::max<int32_t>(0, previous - score);
  }
};

// The soft limit for the next iteration under the plan (soft, hard).
inline double stretchedSoft(double soft, double hard, const IterationTrend& trend) {
  double share = 1 + kChangeStretch * trend.changes;
  if (trend.drop >= kSmallDrop) share += kDropStretch;
  if (trend.drop >= kBigDrop) share += kDropStretch;
  return std::max(soft, std::min(hard, soft * std::min(share, kMaxStretch)));
}

}  // namespace tovrane
