#pragma once
// Small helpers for building positions in tests.

#include <initializer_list>
#include <string>
#include <vector>

#include "game/board.h"

namespace tovrane::test {

struct Piece {
  int row;
  int col;
  Side side;
};

inline Board boardWith(std::initializer_list<Piece> pieces) {
  Board board{};
  for (const Piece& p : pieces) board.at(p.row, p.col) = p.side;
  return board;
}

inline Board initialBoard() {
  Board board{};
  resetBoard(board);
  return board;
}

// Move from the text form, e.g. "1222".
inline Move mv(const char* text) { return readMoveText(text); }

}  // namespace tovrane::test
