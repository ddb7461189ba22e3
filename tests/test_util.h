#pragma once
// Small helpers for building positions in tests.

#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "game/board.h"
#include "rules/move_generator.h"

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

// Positions from random play, so that captures and crowded circuits occur.
inline std::vector<Board> randomGamePositions(unsigned seed, int games) {
  std::mt19937 rng(seed);
  std::vector<Board> positions;
  MoveList list;
  for (int g = 0; g < games; ++g) {
    Board board = initialBoard();
    Side side = kBlack;
    for (int ply = 0; ply < 120; ++ply) {
      positions.push_back(board);
      list.generateMoves(board, side);
      if (list.lastIndex < 0) break;
      // Prefer captures half the time so games thin out.
      int pick = static_cast<int>(rng() % static_cast<unsigned>(list.size()));
      if (rng() % 2 == 0) pick = 0;
      applyMove(board, list.moves[pick]);
      side = opponent(side);
    }
  }
  return positions;
}

// A board of the given number of pieces (at most 36) on random squares,
// each of a random colour.
inline Board randomBoard(std::mt19937& rng, int pieces) {
  Board board{};
  for (int placed = 0; placed < pieces;) {
    const int cell = static_cast<int>(rng() % kCellCount);
    if (board.cells[cell] == kEmpty) {
      board.cells[cell] = rng() % 2 == 0 ? kBlack : kWhite;
      ++placed;
    }
  }
  return board;
}

}  // namespace tovrane::test
