#pragma once
// The standard evaluation profile: the static judgement of a position for
// the side to move, used at every leaf of the search. Positive favours the
// side to move. It combines the square values of the pieces, pieces left
// exposed on the BalanceMap, the piece counts, and whether each side still
// has a safe square to step to.

#include <cstdint>

#include "eval/circuit_maps.h"
#include "eval/safety_map.h"
#include "eval/scoring.h"
#include "game/board.h"

namespace tovrane {

// Points the side to move loses when exactly one of its pieces is exposed.
constexpr int32_t kExposedPiecePenalty = 150;

// 50 on corners, 100 on other border squares, 150 where a small-circuit line
// crosses a large-circuit line, 120 where two lines of one circuit cross;
// plus 10 on rows 3 and 4 for black and on rows 1 and 2 for white.
inline constexpr SquareValues blackSquareValues = {
    {50, 100, 100, 100, 100, 50},   {100, 120, 150, 150, 120, 100}, {100, 150, 120, 120, 150, 100},
    {110, 160, 130, 130, 160, 110}, {110, 130, 160, 160, 130, 110}, {50, 100, 100, 100, 100, 50},
};
inline constexpr SquareValues whiteSquareValues = {
    {50, 100, 100, 100, 100, 50},   {110, 130, 160, 160, 130, 110}, {110, 160, 130, 130, 160, 110},
    {100, 150, 120, 120, 150, 100}, {100, 120, 150, 150, 120, 100}, {50, 100, 100, 100, 100, 50},
};

// Holds the data of the last evaluation; every call rebuilds all of it from
// the Board, so results depend only on the Board and the side. Separate
// instances are independent. Not re-entrant.
class Evaluator {
 public:
  // Score for side to move (1 or 2); any other side gives 0 and leaves the
  // data of the previous evaluation in place. The board is not changed.
  int32_t evaluate(const Board& board, Side side);

  const PieceLists& pieceLists() const { return pieceLists_; }
  const ThreatMap& threatMap() const { return threatMap_; }
  const BalanceMap& balanceMap() const { return balanceMap_; }
  const SafetyMap& safetyMap() const { return safetyMap_; }
  int32_t blackSafeSquares() const { return safetyMap_.blackSafeSquares; }
  int32_t whiteSafeSquares() const { return safetyMap_.whiteSafeSquares; }
  // Square sums and exposed pieces before any adjustment.
  const PieceTally& pieceTally() const { return pieceTally_; }

 private:
  PieceLists pieceLists_{};
  ThreatMap threatMap_{};
  BalanceMap balanceMap_{};
  SafetyMap safetyMap_{};
  PieceTally pieceTally_{};
};

}  // namespace tovrane
