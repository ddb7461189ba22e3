#pragma once
// Both evaluation profiles computed from an Occupancy alone, for searches
// that keep masks: the same scores as Evaluator and ClassicEvaluator, with
// the maps reduced to cell masks and the piece lists to bit counts.

#include <cstdint>

#include "eval/circuit_maps.h"
#include "eval/classic_profile.h"
#include "eval/scoring.h"
#include "game/bitboard.h"

namespace tovrane {

// The value of each set of one row's squares, for one SquareValues table.
struct RowValueTable {
  int32_t sum[kBoardSize][64];
};

constexpr RowValueTable makeRowValueTable(const SquareValues& values) {
  RowValueTable table{};
  for (int row = 0; row < kBoardSize; ++row) {
    for (int pattern = 0; pattern < 64; ++pattern) {
      for (int col = 0; col < kBoardSize; ++col) {
        if ((pattern >> col) & 1) table.sum[row][pattern] += values[row][col];
      }
    }
  }
  return table;
}

inline int32_t sumOfValues(const RowValueTable& table, CellMask mask) {
  int32_t sum = 0;
  for (int row = 0; row < kBoardSize; ++row) sum += table.sum[row][(mask >> (row * kBoardSize)) & 63];
  return sum;
}

// Score for side (1 or 2) to move, as Evaluator::evaluate; 0 for any other
// side. A memo, when given, is read and filled (the score is the same).
int32_t evaluateStandard(const Occupancy& occ, Side side, CircuitMemo* memo = nullptr);

// The same score when side surely has a safe step (surelyHasSafeStep in
// leaf_bounds.h): then no safe-square count can decide it, and of the maps
// only the balances of the pieces matter.
int32_t evaluateStandardWithSafeStep(const Occupancy& occ, Side side);

// Score for side (1 or 2) to move, as ClassicEvaluator::evaluate.
int32_t evaluateClassic(const Occupancy& occ, Side side, ClassicMemo* memo = nullptr);

}  // namespace tovrane
