#pragma once
// Circuit threat maps. A capture runs along a circuit and must pass a corner
// loop before it meets its victim. For every square on a circuit these maps
// record which colours have a piece that could arrive there that way (the
// ThreatMap) and how black and white pieces balance out on the rest of the
// lap, beginning with the nearest such piece (the BalanceMap).
//
// Both maps are signed: above zero favours black, below zero white. Colour
// value of a cell: +1 black piece, -1 white piece, 0 otherwise.

#include <cstdint>

#include "game/bitboard.h"
#include "game/board.h"

namespace tovrane {

// A 6x6 table of ints, row-major like the Board.
struct SquareMap {
  int32_t cells[kCellCount];

  int32_t& at(int row, int col) { return cells[row * kBoardSize + col]; }
  int32_t at(int row, int col) const { return cells[row * kBoardSize + col]; }
  bool operator==(const SquareMap&) const = default;
};

// 0 nothing met, 1 black met, -1 white met, 2 both colours met (merged).
using ThreatMap = SquareMap;
// Sum of the signed piece tallies taken for each square.
using BalanceMap = SquareMap;

enum EdgeDirection : int32_t {
  kEdgeUp = 0,     // towards row 0
  kEdgeRight = 1,  // towards column 5
  kEdgeDown = 2,   // towards row 5
  kEdgeLeft = 3,   // towards column 0
};

// True when every square beyond (row, col) in the given direction, up to the
// board edge, is empty; true for a square already on that edge. The square
// itself is not looked at.
bool lineClearToEdge(const Board& board, int row, int col, EdgeDirection direction);

// Clears both maps and fills them from board: the small circuit first, then
// the large one, every ring entry in order.
void buildCircuitMaps(const Board& board, ThreatMap& threatMap, BalanceMap& balanceMap);

// The two maps reduced to what a score needs, as cell masks: the same
// passes as buildCircuitMaps, with each side of a ring handled once per
// group of entries that share an outcome.
struct CircuitMasks {
  CellMask balanceBelow;  // balance below zero
  CellMask balanceAbove;  // balance above zero
  CellMask blackReaches;  // threat 1 or 2
  CellMask whiteReaches;  // threat -1 or 2
};

// What one ring contributes to the maps; it depends on nothing but the
// ring's own squares.
struct RingShare {
  CellMask blackReaches;  // squares whose record from this ring holds black
  CellMask whiteReaches;
  uint64_t balance[5];    // each square's tally sum as a signed byte, byte = cell
};

// Ring outcomes remembered by the ring's contents, so that positions
// sharing a ring (most leaves of one search do) work it out once. A slot
// is used only for exactly the same ring contents; nothing else changes.
struct CircuitMemo {
  static constexpr int kSlotBits = 12;
  struct Slot {
    uint64_t key;  // 0 for a slot never written
    RingShare share;
  };
  Slot slots[1 << kSlotBits] = {};
};

CircuitMasks buildCircuitMasks(const Occupancy& occ, CircuitMemo* memo = nullptr);

// The high bit of each of the eight bytes of x, packed into bits 0..7 (byte
// k to bit k).
constexpr uint32_t byteHighBits(uint64_t x) {
  return static_cast<uint32_t>((((x >> 7) & 0x0101010101010101ULL) * 0x0102040810204080ULL) >> 56);
}

// Cells of a 36-byte table of small signed values (padded to 40 bytes)
// holding a value below zero, and above zero. Values lie in -63..63.
struct SignMasks {
  CellMask below;
  CellMask above;
};
SignMasks signMasks(const int8_t (&values)[40]);
// The same for 16-bit values (any int16_t), padded to 36 exactly.
SignMasks signMasks(const int16_t (&values)[kCellCount]);

}  // namespace tovrane
