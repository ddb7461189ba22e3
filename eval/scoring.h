#pragma once
// The last steps of an evaluation, common to both profiles: summing square
// values and counting exposed pieces, then the count adjustments and the
// decision between a decided result and the material difference.

#include <cstdint>

#include "eval/circuit_maps.h"
#include "eval/safety_map.h"
#include "game/board.h"

namespace tovrane {

// The scores of positions the evaluation treats as decided, for the side to
// move.
constexpr int32_t kWinScore = 9999999;
constexpr int32_t kLossScore = -9999999;

// Value of a piece on each square, indexed [row][column].
using SquareValues = int32_t[kBoardSize][kBoardSize];

struct PieceTally {
  int32_t blackScore;    // sum of the black pieces' square values
  int32_t whiteScore;    // sum of the white pieces' square values
  int32_t blackExposed;  // black pieces on squares whose balance is below zero
  int32_t whiteExposed;  // white pieces on squares whose balance is above zero
};

PieceTally tallyPieces(const PieceLists& pieces, const BalanceMap& balanceMap, const SquareValues& blackValues,
                       const SquareValues& whiteValues);

// The score for side (1 or 2) to move. Exposed pieces cost each side at most
// one piece of its count; the side to move with exactly one exposed piece
// loses exposedPenalty points instead. A side left without pieces decides
// the game, and so does a side to move without a safe step while its
// opponent has one.
int32_t decideScore(Side side, const PieceLists& pieces, const PieceTally& tally, const SafetyMap& safetyMap,
                    int32_t exposedPenalty);

// The figures decideScore weighs, per colour.
struct SideFigures {
  int32_t count;
  int32_t score;
  int32_t exposed;
  int32_t safeSquares;
};

inline int32_t decideFromFigures(Side side, const SideFigures& black, const SideFigures& white,
                                 int32_t exposedPenalty) {
  SideFigures mover = side == kBlack ? black : white;
  SideFigures other = side == kBlack ? white : black;

  // The opponent will lose an exposed piece; the mover can save one of two.
  if (other.exposed >= 1) --other.count;
  if (mover.exposed > 1) {
    --mover.count;
  } else if (mover.exposed == 1) {
    mover.score -= exposedPenalty;
  }

  if (other.count == 0 && mover.count != 0) return kWinScore;
  if (mover.count == 0 && other.count != 0) return kLossScore;
  if (mover.safeSquares == 0 && other.safeSquares != 0) return kLossScore;
  return mover.score - other.score;
}

}  // namespace tovrane
