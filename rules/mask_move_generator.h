#pragma once
// The move generator on bit masks, for searches that keep an Occupancy. It
// lists exactly the moves of MoveList::generateMoves in the same order (all
// captures by piece in row-major order, then track, then start entry; then
// all steps by piece and direction), with a repeat of the last move dropped.

#include <cstdint>

#include "game/bitboard.h"
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

// Writes the moves of side (1 or 2) into out and returns their number; at
// most kMaxMoves are kept, as in MoveList.
int generateCellMoves(const Occupancy& occ, Side side, CellMove* out);

// Whether side has a legal move; steps are looked at first, all at once.
bool hasAnyCellMove(const Occupancy& occ, Side side);

}  // namespace tovrane
