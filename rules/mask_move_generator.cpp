#include "rules/mask_move_generator.h"

#include <bit>

#include "rules/capture_tables.h"

namespace tovrane {

namespace {

// The ring of walk with the mover's own entries cleared: it travels over
// its own square as if empty.
inline uint32_t ringOf(RingMask rings, int circuit) {
  return static_cast<uint32_t>(rings >> (circuit * kLargeRingShift)) & kLapBits;
}

}  // namespace

int generateCellMoves(const Occupancy& occ, Side side, CellMove* out) {
  CellMoveCursor cursor(occ, side);
  int count = 0;
  for (int next = cursor.append(out, 0); next != count; next = cursor.append(out, count)) count = next;
  return count;
}

bool hasAnyCellMove(const Occupancy& occ, Side side) {
  if (side != kWhite && side != kBlack) return false;
  const CellMask own = occ.of(side);
  if ((kingSpread(own) & occ.empty()) != 0) return true;
  const RingMask occupiedRings = ringsOf(occ.pieces());
  const RingMask ownRings = ringsOf(own);
  for (CellMask pieces = own; pieces != 0; pieces &= pieces - 1) {
    const int cell = lowestCell(pieces);
    const RingMask others = occupiedRings & ~kRingTables.ofCell[cell];
    for (int s = 0; s < kCaptureWalks.count[cell]; ++s) {
      const CaptureWalk& walk = kCaptureWalks.walks[cell][s];
      const int entry = captureEntry(ringOf(others, walk.circuit), walk);
      if (entry >= 0 && ((ringOf(ownRings, walk.circuit) >> entry) & 1) == 0) return true;
    }
  }
  return false;
}

}  // namespace tovrane
