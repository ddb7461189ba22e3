#pragma once
// How the circuit maps see each ring: its four sides (one whole line each,
// entries 6s to 6s+5), its four crossing points, and for each side the
// figures of the tallies its scans take. Shared by the passes that build
// the maps and by the one that needs only the balances of the pieces.
//
// A scan's tally runs from the piece it met to the end of the lap, so it
// takes every piece the scan passes over the whole ring: all pieces of the
// ring, less the skipped entries (the later entry of three of the four
// crossing points), less the target's own square. Counted by square, that
// is the ring's piece balance with the fourth crossing point counted twice.

#include <cstdint>

#include "game/bitboard.h"
#include "rules/circuits.h"

namespace tovrane {

constexpr int kSideLength = 6;

// The skip set of a tally: walking one lap from start in direction step (+1
// or -1), take the later-met entry of each crossing point, except for the
// crossing point whose later entry comes last.
constexpr uint32_t skipSet(const CircuitRing& ring, int start, int step) {
  int lastPosition = -1;
  int lastEntry = -1;
  uint32_t skips = 0;
  for (int pos = 0; pos < kLapLength; ++pos) {
    const int k = ((start + step * pos) % kLapLength + kLapLength) % kLapLength;
    for (int earlier = 0; earlier < pos; ++earlier) {
      const int j = ((start + step * earlier) % kLapLength + kLapLength) % kLapLength;
      if (ring.rows[j] == ring.rows[k] && ring.cols[j] == ring.cols[k]) {
        skips |= uint32_t{1} << k;
        if (pos > lastPosition) {
          lastPosition = pos;
          lastEntry = k;
        }
      }
    }
  }
  return skips & ~(uint32_t{1} << lastEntry);
}

constexpr uint32_t kSideBits = 63;

// How a side of a ring lies on the board, and its tally figures.
struct SidePlan {
  int32_t exceptBackward;  // the crossing point a backward scan counts twice (0..3)
  int32_t exceptForward;   // the same for a forward scan
  uint32_t keepBackward;    // side entries a backward tally counts (bits 0..5)
  uint32_t keepForward;
  int8_t line;              // the row or column index
  bool isRow;
  bool reversed;            // entries run towards lower column or row numbers
};

struct RingPlan {
  SidePlan sides[4];
  CellMask cells;        // the ring's squares
  int8_t crossings[4];   // the squares where the ring crosses itself
};

constexpr int32_t exceptedCrossing(const CircuitRing& ring, const int8_t (&crossings)[4], uint32_t skips) {
  for (int x = 0; x < 4; ++x) {
    bool skipped = false;
    for (int k = 0; k < kLapLength; ++k) {
      skipped = skipped || (ring.rows[k] * kBoardSize + ring.cols[k] == crossings[x] && ((skips >> k) & 1) != 0);
    }
    if (!skipped) return x;
  }
  throw "no crossing point left out of the skips";
}

constexpr RingPlan makeRingPlan(const CircuitRing& ring) {
  RingPlan plan{};
  for (int k = 0; k < kLapLength; ++k) plan.cells |= cellBit(ring.rows[k] * kBoardSize + ring.cols[k]);
  int crossings = 0;
  for (int a = 0; a < kLapLength; ++a) {
    for (int b = a + 1; b < kLapLength; ++b) {
      if (ring.rows[a] == ring.rows[b] && ring.cols[a] == ring.cols[b]) {
        plan.crossings[crossings++] = static_cast<int8_t>(ring.rows[a] * kBoardSize + ring.cols[a]);
      }
    }
  }
  if (crossings != 4) throw "a circuit crosses itself four times";
  for (int side = 0; side < 4; ++side) {
    const int first = side * kSideLength;
    const int last = first + kSideLength - 1;
    const uint32_t skipBackward = skipSet(ring, (first + kLapLength - 1) % kLapLength, -1);
    const uint32_t skipForward = skipSet(ring, (last + 1) % kLapLength, +1);
    SidePlan& p = plan.sides[side];
    p.exceptBackward = exceptedCrossing(ring, plan.crossings, skipBackward);
    p.exceptForward = exceptedCrossing(ring, plan.crossings, skipForward);
    p.keepBackward = (~skipBackward >> first) & kSideBits;
    p.keepForward = (~skipForward >> first) & kSideBits;
    p.isRow = ring.rows[first] == ring.rows[last];
    p.line = static_cast<int8_t>(p.isRow ? ring.rows[first] : ring.cols[first]);
    p.reversed = p.isRow ? ring.cols[first] > ring.cols[last] : ring.rows[first] > ring.rows[last];
    for (int k = 0; k < kSideLength; ++k) {
      const int along = p.isRow ? ring.cols[first + k] : ring.rows[first + k];
      if ((p.isRow ? ring.rows[first + k] : ring.cols[first + k]) != p.line ||
          along != (p.reversed ? kSideLength - 1 - k : k)) {
        throw "a side is not a whole line";
      }
    }
  }
  return plan;
}

inline constexpr RingPlan kSmallRingPlan = makeRingPlan(smallRing);
inline constexpr RingPlan kLargeRingPlan = makeRingPlan(largeRing);

}  // namespace tovrane
