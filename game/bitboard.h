#pragma once
// The Board as bit sets: bit row * 6 + column of a 36-bit mask stands for a
// square, so bit order is row-major order. Searches keep one mask per colour
// next to (or instead of) the Board and update them with a few XORs per move.

#include <bit>
#include <cstdint>

#include "game/board.h"

namespace tovrane {

using CellMask = uint64_t;

constexpr CellMask kAllCells = (CellMask{1} << kCellCount) - 1;
constexpr CellMask cellBit(int cell) { return CellMask{1} << cell; }

constexpr CellMask columnMask(int col) {
  CellMask mask = 0;
  for (int row = 0; row < kBoardSize; ++row) mask |= cellBit(row * kBoardSize + col);
  return mask;
}

// Both colours' pieces. Cells holding anything but 0, 1 or 2 are in neither.
struct Occupancy {
  CellMask black;
  CellMask white;

  CellMask pieces() const { return black | white; }
  CellMask empty() const { return kAllCells & ~(black | white); }
  CellMask of(Side side) const { return side == kBlack ? black : white; }
  bool operator==(const Occupancy&) const = default;
};

inline Occupancy occupancyOf(const Board& board) {
  Occupancy occ{0, 0};
  for (int cell = 0; cell < kCellCount; ++cell) {
    occ.black |= CellMask{board.cells[cell] == kBlack} << cell;
    occ.white |= CellMask{board.cells[cell] == kWhite} << cell;
  }
  return occ;
}

// Moves the mover's piece and removes whatever stood on the destination.
inline Occupancy occupancyAfter(const Occupancy& occ, Side mover, int from, int to) {
  const CellMask fromTo = cellBit(from) | cellBit(to);
  if (mover == kBlack) return {occ.black ^ fromTo, occ.white & ~cellBit(to)};
  return {occ.black & ~cellBit(to), occ.white ^ fromTo};
}

// mask together with every square one king step away from one of its
// squares. Anded with the empty squares: where the pieces of mask can step.
constexpr CellMask kingSpread(CellMask mask) {
  const CellMask row = mask | ((mask & ~columnMask(kBoardSize - 1)) << 1) | ((mask & ~columnMask(0)) >> 1);
  return (row | (row << kBoardSize) | (row >> kBoardSize)) & kAllCells;
}

// Bit count without a library call (the 32-bit target has no popcount
// instruction, and a call to the runtime's would cost more).
constexpr int32_t bitCount(uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555ULL);
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<int32_t>((x * 0x0101010101010101ULL) >> 56);
}

inline int lowestCell(CellMask mask) { return std::countr_zero(mask); }

// Bit counts of all 12-bit values, and a count of a cell mask from them.
struct BitCounts12 {
  uint8_t of[4096];
};
constexpr BitCounts12 makeBitCounts12() {
  BitCounts12 t{};
  for (int x = 0; x < 4096; ++x) t.of[x] = static_cast<uint8_t>(bitCount(static_cast<uint64_t>(x)));
  return t;
}
inline constexpr BitCounts12 kBitCounts12 = makeBitCounts12();

inline int32_t cellCount(CellMask mask) {
  return kBitCounts12.of[mask & 0xFFF] + kBitCounts12.of[(mask >> 12) & 0xFFF] + kBitCounts12.of[(mask >> 24) & 0xFFF];
}

}  // namespace tovrane
