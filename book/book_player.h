#pragma once
// The searcher behind a book: finds the moves worth listing for a position.
// A player is one program's search (its evaluation and search settings) with
// a budget per position: a fixed depth, which gives the same moves on every
// run, or a time per position, which does not.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "game/board.h"
#include "rules/game_rules.h"

namespace tovrane::book {

struct ScoredMove {
  Move move;
  int32_t score;  // for the side to move
};

struct PlayerChoice {
  std::string program = "engine-pro";  // whose search and evaluation
  int depth = 0;                        // plies; 0: the program's book depth
  double movetime = 0;                  // seconds per position; 0: use the depth
  GameRules rules;                      // what engine-pro's search plays for (the exact players know their own)
};

// The programs a book can be built with, in the order the help lists them.
const std::vector<std::string>& playerPrograms();

// The fixed depth used when none is given.
int defaultBookDepth(const std::string& program);

// "engine-deep depth 7" or "engine-deep movetime 2": what a build used;
// " rules NAME" follows for engine-pro under rules other than draw80.
std::string describePlayer(const PlayerChoice& choice);

// From moves with their scores in generation order: the best move, then up
// to maxMoves - 1 more whose score is within margin of the best, best first;
// equal scores keep generation order.
std::vector<ScoredMove> selectBookMoves(std::vector<ScoredMove> scored, int maxMoves, int32_t margin);

class BookPlayer {
 public:
  virtual ~BookPlayer() = default;
  // The moves to list for side in board, best first (see selectBookMoves);
  // empty when side has no legal move. With maxMoves 1 the move is the one
  // the program's own root search chooses at the budget's depth.
  virtual std::vector<ScoredMove> analyse(const Board& board, Side side, int maxMoves, int32_t margin) = 0;
};

// Throws std::invalid_argument for an unknown program, or rules other than
// draw80 for an exact program.
std::unique_ptr<BookPlayer> makePlayer(const PlayerChoice& choice);

}  // namespace tovrane::book
