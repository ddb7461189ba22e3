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
  if (side != kWhite && side != kBlack) return 0;
  const CellMask own = occ.of(side);
  const CellMask empty = occ.empty();
  const RingMask occupiedRings = ringsOf(occ.pieces());
  const RingMask ownRings = ringsOf(own);
  const uint32_t ownOf[2] = {ringOf(ownRings, 0), ringOf(ownRings, 1)};
  int count = 0;
  for (CellMask pieces = own; pieces != 0; pieces &= pieces - 1) {
    const int cell = lowestCell(pieces);
    const RingMask others = occupiedRings & ~kRingTables.ofCell[cell];
    const uint32_t othersOf[2] = {ringOf(others, 0), ringOf(others, 1)};
    for (int s = 0; s < kCaptureWalks.count[cell]; ++s) {
      const CaptureWalk& walk = kCaptureWalks.walks[cell][s];
      const int entry = captureEntry(othersOf[walk.circuit], walk);
      if (entry < 0 || ((ownOf[walk.circuit] >> entry) & 1) != 0) continue;
      const CellMove m{static_cast<uint8_t>(cell), static_cast<uint8_t>(kRingTables.cellOf[walk.circuit][entry])};
      if (count > 0 && out[count - 1] == m) continue;
      if (count < kMaxMoves) out[count++] = m;
    }
  }
  // With at most 12 pieces every move fits (12 * (8 + 4) = kMaxMoves).
  const bool roomy = bitCount(own) <= kPiecesPerSide;
  for (CellMask pieces = own; pieces != 0; pieces &= pieces - 1) {
    const int cell = lowestCell(pieces);
    for (uint32_t dirs = emptyStepDirections(empty, cell); dirs != 0; dirs &= dirs - 1) {
      const int to = cell + kStepDirections.offset[std::countr_zero(dirs)];
      if (roomy || count < kMaxMoves) out[count++] = CellMove{static_cast<uint8_t>(cell), static_cast<uint8_t>(to)};
    }
  }
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
