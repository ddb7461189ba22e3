#pragma once
// The classic evaluation profile of the classic engine. It judges circuit
// threats with one map instead of two: for each end of each circuit line,
// the run of same-coloured pieces nearest to that end could leave through
// the corner loop there, and its length, signed by colour, is added to every
// square of the route those pieces would travel, up to and including the
// first occupied square. The rest follows the standard profile with its own
// square values and a smaller penalty.

#include <cstdint>

#include "eval/circuit_maps.h"
#include "eval/evaluator.h"
#include "eval/safety_map.h"
#include "eval/scoring.h"
#include "game/board.h"

namespace tovrane {

namespace classic {
// Points the side to move loses when exactly one of its pieces is exposed.
constexpr int32_t kExposedPiecePenalty = 25;
}  // namespace classic

// One table for both colours: 5 on corners, 15 on the other diagonal
// squares, 12 on the eight squares next to the centre block off the
// diagonals, 10 on the rest of the border.
inline constexpr SquareValues classicSquareValues = {
    {5, 10, 10, 10, 10, 5}, {10, 15, 12, 12, 15, 10}, {10, 12, 15, 15, 12, 10},
    {10, 12, 15, 15, 12, 10}, {10, 15, 12, 12, 15, 10}, {5, 10, 10, 10, 10, 5},
};

// Clears classicMap and adds the contribution of all 16 line ends.
void buildClassicCircuitMap(const Board& board, BalanceMap& classicMap);

// Each circuit's part of the classic map remembered by the circuit's
// contents (a line end's scan and route stay on its circuit). A slot is
// used only for exactly the same contents; nothing else changes.
struct ClassicMemo {
  static constexpr int kSlotBits = 12;
  struct Slot {
    uint64_t key;  // 0 for a slot never written
    int16_t map[kCellCount];
  };
  Slot slots[1 << kSlotBits] = {};
};

// The signs of the classic map built from occ: the same values as
// buildClassicCircuitMap, read off as cell masks. A memo, when given, is
// read and filled.
SignMasks classicMapSigns(const Occupancy& occ, ClassicMemo* memo = nullptr);

// Holds the data of the last classic evaluation (the classic map stands in
// for both circuit maps). Separate instances are independent.
class ClassicEvaluator {
 public:
  // Score for side to move (1 or 2); any other side gives 0 and leaves the
  // data of the previous evaluation in place. The board is not changed.
  int32_t evaluate(const Board& board, Side side);

  const PieceLists& pieceLists() const { return pieceLists_; }
  const BalanceMap& balanceMap() const { return balanceMap_; }
  const SafetyMap& safetyMap() const { return safetyMap_; }
  int32_t blackSafeSquares() const { return safetyMap_.blackSafeSquares; }
  int32_t whiteSafeSquares() const { return safetyMap_.whiteSafeSquares; }
  const PieceTally& pieceTally() const { return pieceTally_; }

 private:
  PieceLists pieceLists_{};
  BalanceMap balanceMap_{};
  SafetyMap safetyMap_{};
  PieceTally pieceTally_{};
};

}  // namespace tovrane
