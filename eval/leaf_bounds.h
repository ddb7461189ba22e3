#pragma once
// What a leaf's score can be before its circuit maps are built. The maps
// decide only which pieces are exposed and whether each side has a safe
// step; the square values fix the rest. Seen by the side that has just
// moved into the leaf (the side not to move there), with d its square sum
// less the other side's, the score is one of:
//   - a loss (its own count reaches zero: it has one piece, and that piece
//     is exposed, or none);
//   - a win (the side to move has no piece, or no safe step while it has
//     one);
//   - d, or d plus the exposed penalty (the side to move has exactly one
//     piece exposed).
// A search that needs only to know whether a leaf beats a bound can often
// decide it from d alone.

#include <cstdint>

#include "eval/classic_profile.h"
#include "eval/evaluator.h"
#include "game/bitboard.h"
#include "rules/circuits.h"

namespace tovrane {

struct LeafBoundProfile {
  int32_t values[3][kCellCount];  // [side][cell]: a piece's square value (side 1 white, 2 black)
  int32_t rowSums[3][kBoardSize][64];  // [side][row][pieces of the row]: their values' sum
  int32_t exposedPenalty;
  bool circuitBalances;  // the maps are the standard ones (see surelyHasSafeStep)
};

constexpr LeafBoundProfile makeLeafBoundProfile(const SquareValues& whiteValues, const SquareValues& blackValues,
                                                int32_t exposedPenalty, bool circuitBalances) {
  LeafBoundProfile p{};
  p.circuitBalances = circuitBalances;
  for (int cell = 0; cell < kCellCount; ++cell) {
    p.values[kWhite][cell] = whiteValues[cell / kBoardSize][cell % kBoardSize];
    p.values[kBlack][cell] = blackValues[cell / kBoardSize][cell % kBoardSize];
  }
  for (int side : {kWhite, kBlack}) {
    for (int row = 0; row < kBoardSize; ++row) {
      for (int pattern = 0; pattern < 64; ++pattern) {
        for (int col = 0; col < kBoardSize; ++col) {
          if ((pattern >> col) & 1) p.rowSums[side][row][pattern] += p.values[side][row * kBoardSize + col];
        }
      }
    }
  }
  p.exposedPenalty = exposedPenalty;
  return p;
}

inline constexpr LeafBoundProfile kStandardBounds =
    makeLeafBoundProfile(whiteSquareValues, blackSquareValues, kExposedPiecePenalty, true);
inline constexpr LeafBoundProfile kClassicBounds =
    makeLeafBoundProfile(classicSquareValues, classicSquareValues, classic::kExposedPiecePenalty, false);

// side's square sum less its opponent's.
inline int32_t squareSumLead(const LeafBoundProfile& p, const Occupancy& occ, Side side) {
  const CellMask mine = occ.of(side);
  const CellMask theirs = occ.of(opponent(side));
  int32_t lead = 0;
  for (int row = 0; row < kBoardSize; ++row) {
    lead += p.rowSums[side][row][(mine >> (row * kBoardSize)) & 63] -
            p.rowSums[opponent(side)][row][(theirs >> (row * kBoardSize)) & 63];
  }
  return lead;
}

// How much side's lead grows by its move from one cell to another, taking
// whatever of the opponent's stood there.
inline int32_t squareSumGain(const LeafBoundProfile& p, const Occupancy& occ, Side side, int from, int to) {
  const int32_t taken = ((occ.of(opponent(side)) >> to) & 1) != 0 ? p.values[opponent(side)][to] : 0;
  return p.values[side][to] - p.values[side][from] + taken;
}

constexpr CellMask ringCells(const CircuitRing& ring) {
  CellMask cells = 0;
  for (int k = 0; k < kLapLength; ++k) cells |= cellBit(ring.rows[k] * kBoardSize + ring.cols[k]);
  return cells;
}

// True when side surely has a safe step: an empty square next to one of its
// pieces that no map can mark for it to avoid. A corner is one in both
// profiles: no circuit passes it. With the standard maps, so is a square
// whose circuits each hold more of side's pieces than of the opponent's: a
// square is avoided only where the balance favours the opponent, and its
// balance adds at most two tallies, each of which counts the pieces of one
// circuit once (one crossing point perhaps twice), so none can.
inline bool surelyHasSafeStep(const LeafBoundProfile& p, const Occupancy& occ, Side side) {
  constexpr CellMask kSmallCells = ringCells(smallRing);
  constexpr CellMask kLargeCells = ringCells(largeRing);
  constexpr CellMask kCorners = kAllCells & ~(kSmallCells | kLargeCells);
  const CellMask steps = kingSpread(occ.of(side)) & occ.empty();
  if ((steps & kCorners) != 0) return true;
  if (!p.circuitBalances) return false;
  const CellMask mine = occ.of(side);
  const CellMask theirs = occ.of(opponent(side));
  CellMask sure = kAllCells;
  if (cellCount(mine & kSmallCells) <= cellCount(theirs & kSmallCells)) sure &= ~kSmallCells;
  if (cellCount(mine & kLargeCells) <= cellCount(theirs & kLargeCells)) sure &= ~kLargeCells;
  return (steps & sure) != 0;
}

}  // namespace tovrane
