#pragma once
// Lists every legal move of one side in a fixed order: all captures first
// (by piece in row-major order, then by track, then by start entry), then all
// steps (by piece in row-major order, then in stepDirections order). The
// search tries moves in this order, so the order decides among equal moves.

#include <cstdint>

#include "game/board.h"

namespace tovrane {

// Capacity. A side has at most 12 pieces (it starts with 12 and no move adds
// one). A piece has at most 8 steps, and at most 4 capture walks: a square
// appears at most 4 times among the first laps of the four tracks (a crossing
// point twice on each track of its own circuit, a square shared by both
// circuits once on each of the four tracks), and a walk yields at most one
// move. So no position reachable in a game lists more than 12 * (8 + 4) = 144.
constexpr int kMaxMoves = 144;

struct MoveList {
  Move moves[kMaxMoves];
  int32_t lastIndex;   // index of the last stored move; -1 when empty
  Board board;         // the generator's own copy of the position
  int32_t rootDepth;   // belongs to the search; never touched here

  int size() const { return lastIndex + 1; }

  // Replaces the list with all moves of side in position. Any side other
  // than 1 or 2 gives an empty list; cells other than 1 and 2 are empty.
  void generateMoves(const Board& position, Side side);

  void addCaptureMoves(int row, int col);
  void addStepMoves(int row, int col);

  // Drops moves off the board and a move equal to the last stored one. A move
  // that would not fit is dropped too; that needs more than 12 pieces a side.
  void addMove(int fromRow, int fromCol, int toRow, int toCol);
};

// True when side has at least one legal move: the same answer as a non-empty
// generateMoves list, found without building the list.
bool hasAnyMove(const Board& position, Side side);

// The referee's rule check: a move is legal exactly when the generator lists
// it for the side to move.
bool isLegalMove(const Board& position, Side side, const Move& move);

}  // namespace tovrane
