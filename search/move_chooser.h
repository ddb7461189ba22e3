#pragma once
// What the referee loop asks of a player: its move in a position, and, for a
// player that keeps the game's history (repetitions, the run of plies
// without a capture), word of each new game and of each move made.

#include "game/board.h"

namespace tovrane {

class MoveChooser {
 public:
  virtual ~MoveChooser() = default;

  // Puts the move for side into out and returns true; false when side has
  // no legal move. board may be changed during the call but is restored.
  virtual bool chooseMove(Board& board, Side side, Move& out) = 0;

  // A game starts on board.
  virtual void gameStarted(const Board& /*board*/) {}
  // A move was applied; board is the position after it, sideToMove moves next.
  virtual void movePlayed(const Board& /*board*/, Side /*sideToMove*/) {}
};

}  // namespace tovrane
