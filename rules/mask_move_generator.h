#pragma once
// The move generator on bit masks, for searches that keep an Occupancy. It
// lists exactly the moves of MoveList::generateMoves in the same order (all
// captures by piece in row-major order, then track, then start entry; then
// all steps by piece and direction), with a repeat of the last move dropped.

#include <cstdint>

#include "game/bitboard.h"
#include "rules/capture_tables.h"
#include "rules/move_generator.h"

namespace tovrane {

// A move as two cells (row * 6 + column).
struct CellMove {
  uint8_t from;
  uint8_t to;
  bool operator==(const CellMove&) const = default;
};

inline Move toMove(CellMove m) {
  return Move{m.from / kBoardSize, m.to / kBoardSize, m.from % kBoardSize, m.to % kBoardSize};
}

// The same list worked out one piece at a time: a search that stops after a
// few children, as most nodes do, never works out the rest. Each append
// adds the moves of the next piece that has any (its captures while
// captures last, then its steps) and returns the new count; a count that
// does not grow means the list is complete. At most kMaxMoves are kept.
class CellMoveCursor {
 public:
  CellMoveCursor(const Occupancy& occ, Side side);
  int append(CellMove* out, int count);
  // Whether the next append still adds captures (of the next piece that has
  // any); once false, appends add steps only.
  bool capturesPending() const { return capturing_ != 0; }
  // The squares the captures still to come would take.
  CellMask captureTargets() const;

 private:
  void findCaptures(int circuit, int entry, int forward, RingMask occupiedRings);

  CellMask empty_ = 0;
  CellMask capturing_ = 0;  // pieces whose captures are still to come
  CellMask stepping_ = 0;   // pieces whose steps are still to come
  uint32_t ownOf_[2] = {0, 0};
  bool roomy_ = true;       // no more than 12 pieces: every move fits
  // Of the pieces in capturing_: which of their walks take a piece, and
  // the square each takes (only those entries are ever written or read).
  uint8_t takingWalks_[kCellCount];
  uint8_t takenCell_[kCellCount][kMaxWalksPerSquare];
};

inline void CellMoveCursor::findCaptures(int circuit, int entry, int forward, RingMask occupiedRings) {
  const int cell = kRingTables.cellOf[circuit][entry];
  const int s = kWalkSlots.slot[circuit][entry][forward];
  // The walk travels over the mover's own square as if empty.
  const RingMask others = occupiedRings & ~kRingTables.ofCell[cell];
  const uint32_t ring = static_cast<uint32_t>(others >> (circuit * kLargeRingShift)) & kLapBits;
  const int taken = captureEntry(ring, kCaptureWalks.walks[cell][s]);
  if (taken < 0 || ((ownOf_[circuit] >> taken) & 1) != 0) return;
  if ((capturing_ & cellBit(cell)) == 0) {
    capturing_ |= cellBit(cell);
    takingWalks_[cell] = 0;
  }
  takingWalks_[cell] |= static_cast<uint8_t>(1u << s);
  takenCell_[cell][s] = static_cast<uint8_t>(kRingTables.cellOf[circuit][taken]);
}

inline CellMoveCursor::CellMoveCursor(const Occupancy& occ, Side side) {
  if (side != kWhite && side != kBlack) return;
  const CellMask own = occ.of(side);
  empty_ = occ.empty();
  stepping_ = own;
  roomy_ = bitCount(own) <= kPiecesPerSide;
  const RingMask occupiedRings = ringsOf(occ.pieces());
  const RingMask ownRings = ringsOf(own);
  ownOf_[0] = static_cast<uint32_t>(ownRings) & kLapBits;
  ownOf_[1] = static_cast<uint32_t>(ownRings >> kLargeRingShift) & kLapBits;
  // Only the first piece of a ring side can walk backward out of it, and
  // only the last one forward.
  for (int circuit = 0; circuit < 2; ++circuit) {
    if (ownOf_[circuit] == 0) continue;
    const uint32_t ring = static_cast<uint32_t>(occupiedRings >> (circuit * kLargeRingShift)) & kLapBits;
    for (int first = 0; first < kLapLength; first += 6) {
      const uint32_t inSide = (ring >> first) & 63;
      if (inSide == 0) continue;
      const int f = first + std::countr_zero(inSide);
      const int l = first + 31 - std::countl_zero(inSide);
      if (((ownOf_[circuit] >> f) & 1) != 0) findCaptures(circuit, f, 0, occupiedRings);
      if (((ownOf_[circuit] >> l) & 1) != 0) findCaptures(circuit, l, 1, occupiedRings);
    }
  }
}

inline CellMask CellMoveCursor::captureTargets() const {
  CellMask targets = 0;
  for (CellMask pieces = capturing_; pieces != 0; pieces &= pieces - 1) {
    const int cell = lowestCell(pieces);
    for (uint32_t walks = takingWalks_[cell]; walks != 0; walks &= walks - 1) {
      targets |= cellBit(takenCell_[cell][std::countr_zero(walks)]);
    }
  }
  return targets;
}

inline int CellMoveCursor::append(CellMove* out, int count) {
  const int start = count;
  while (capturing_ != 0) {
    const int cell = lowestCell(capturing_);
    capturing_ &= capturing_ - 1;
    for (uint32_t walks = takingWalks_[cell]; walks != 0; walks &= walks - 1) {
      const CellMove m{static_cast<uint8_t>(cell), takenCell_[cell][std::countr_zero(walks)]};
      if (count > 0 && out[count - 1] == m) continue;
      if (count < kMaxMoves) out[count++] = m;
    }
    if (count != start) return count;
  }
  while (stepping_ != 0) {
    const int cell = lowestCell(stepping_);
    stepping_ &= stepping_ - 1;
    for (uint32_t dirs = emptyStepDirections(empty_, cell); dirs != 0; dirs &= dirs - 1) {
      const int to = cell + kStepDirections.offset[std::countr_zero(dirs)];
      if (roomy_ || count < kMaxMoves) out[count++] = CellMove{static_cast<uint8_t>(cell), static_cast<uint8_t>(to)};
    }
    if (count != start) return count;
  }
  return count;
}

// Writes the moves of side (1 or 2) into out and returns their number; at
// most kMaxMoves are kept, as in MoveList.
int generateCellMoves(const Occupancy& occ, Side side, CellMove* out);

// Whether side has a legal move; steps are looked at first, all at once.
bool hasAnyCellMove(const Occupancy& occ, Side side);

}  // namespace tovrane
