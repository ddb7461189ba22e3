#pragma once
// The eight symmetries of the square board (four rotations, each with or
// without a mirror). The rules map onto themselves under every one of them
// (the circuits and their corner loops are symmetric), which the move
// generator's test checks on random positions: a position and its image
// have the same moves, mapped. Training data is multiplied by them, and
// the network sees white's pieces mirrored top to bottom so that each side
// looks at the board from its own home row.

#include "game/board.h"

namespace tovrane {

constexpr int kSymmetryCount = 8;
constexpr int kIdentitySymmetry = 0;
constexpr int kFlipRowsSymmetry = 4;  // row r becomes row 5 - r

// The cell that cell (row * 6 + column) becomes under symmetry 0..7: bit 2
// mirrors the rows, then bits 0..1 rotate a quarter turn that many times.
constexpr int symmetricCell(int symmetry, int cell) {
  int row = cell / kBoardSize;
  int col = cell % kBoardSize;
  if ((symmetry & 4) != 0) row = kBoardSize - 1 - row;
  for (int turn = 0; turn < (symmetry & 3); ++turn) {
    const int turnedRow = col;
    col = kBoardSize - 1 - row;
    row = turnedRow;
  }
  return row * kBoardSize + col;
}

inline Board symmetricBoard(const Board& board, int symmetry) {
  Board image{};
  for (int cell = 0; cell < kCellCount; ++cell) image.cells[symmetricCell(symmetry, cell)] = board.cells[cell];
  return image;
}

inline Move symmetricMove(const Move& move, int symmetry) {
  const int from = symmetricCell(symmetry, move.fromRow * kBoardSize + move.fromCol);
  const int to = symmetricCell(symmetry, move.toRow * kBoardSize + move.toCol);
  return Move{from / kBoardSize, to / kBoardSize, from % kBoardSize, to % kBoardSize};
}

}  // namespace tovrane
