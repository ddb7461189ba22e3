#pragma once
// When a search on a clock's plan may start one more iteration. A best move
// that keeps changing between iterations, or a score that has just fallen,
// says the position is not settled yet: the soft limit then grows, up to the
// plan's hard limit (which the time manager made safe to reach).

#include <algorithm>
#include <cstdint>

namespace tovrane {

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
