#include "eval/piece_balance.h"

#include <bit>

#include "eval/ring_plans.h"
#include "rules/capture_tables.h"

namespace tovrane {

namespace {

// +1 black, -1 white: of an occupied ring entry, and of any square.
inline int32_t colourValue(uint32_t black, int entry) { return static_cast<int32_t>((black >> entry) & 1) * 2 - 1; }
inline int32_t cellValue(const Occupancy& occ, int cell) {
  return static_cast<int32_t>((occ.black >> cell) & 1) - static_cast<int32_t>((occ.white >> cell) & 1);
}

// Adds one ring's tallies at its pieces into bytes (one per square).
template <int kCircuit>
inline void addPieceTallies(const Occupancy& occ, uint32_t black, uint32_t white, int8_t (&bytes)[40]) {
  constexpr const RingPlan& plan = kCircuit == 0 ? kSmallRingPlan : kLargeRingPlan;
  constexpr const int8_t(&cellOf)[kLapLength] = kRingTables.cellOf[kCircuit];
  const uint32_t occupied = black | white;
  if (occupied == 0) return;
  const int32_t balance = cellCount(occ.black & plan.cells) - cellCount(occ.white & plan.cells);
  int32_t twice[4];
  for (int x = 0; x < 4; ++x) twice[x] = balance + cellValue(occ, plan.crossings[x]);
  for (int side = 0; side < 4; ++side) {
    const int first = side * kSideLength;
    const uint32_t inSide = (occupied >> first) & kSideBits;
    if (inSide == 0) continue;
    const SidePlan& p = plan.sides[side];
    const bool outside = (occupied & ~(kSideBits << first)) != 0;
    const int f = std::countr_zero(inSide);
    const int l = 31 - std::countl_zero(inSide);
    // The first piece scans backward and meets a piece outside the side or
    // else the side's last one; the last piece scans forward and meets a
    // piece outside or else the first one.
    if (outside || l > f) {
      const int32_t own = static_cast<int32_t>((p.keepBackward >> f) & 1) * colourValue(black, first + f);
      int8_t& cell = bytes[cellOf[first + f]];
      cell = static_cast<int8_t>(cell + twice[p.exceptBackward] - own);
    }
    if (l > f) {
      const int32_t own = static_cast<int32_t>((p.keepForward >> l) & 1) * colourValue(black, first + l);
      int8_t& cell = bytes[cellOf[first + l]];
      cell = static_cast<int8_t>(cell + twice[p.exceptForward] - own);
    }
  }
}

}  // namespace

SignMasks pieceBalanceSigns(const Occupancy& occ) {
  alignas(8) int8_t bytes[40] = {};
  const RingMask blackRings = ringsOf(occ.black);
  const RingMask whiteRings = ringsOf(occ.white);
  addPieceTallies<0>(occ, static_cast<uint32_t>(blackRings) & kLapBits, static_cast<uint32_t>(whiteRings) & kLapBits,
                     bytes);
  addPieceTallies<1>(occ, static_cast<uint32_t>(blackRings >> kLargeRingShift) & kLapBits,
                     static_cast<uint32_t>(whiteRings >> kLargeRingShift) & kLapBits, bytes);
  SignMasks signs = signMasks(bytes);
  signs.below &= occ.pieces();
  signs.above &= occ.pieces();
  return signs;
}

}  // namespace tovrane
