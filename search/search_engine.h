#pragma once
// Chooses the engine's move: a book move when the position has one, else a
// fixed-depth negamax alpha-beta search over the whole tree, trying moves in
// generation order and keeping the first of equally good root moves.

#include <cstdint>
#include <memory>

#include "eval/classic_profile.h"
#include "eval/evaluator.h"
#include "game/bitboard.h"
#include "game/board.h"
#include "game/opening_book.h"
#include "rules/mask_move_generator.h"
#include "rules/move_generator.h"
#include "search/engine_settings.h"
#include "search/eval_cache.h"
#include "search/move_chooser.h"

namespace tovrane {

constexpr int32_t kInfinity = 10000000;  // one more than kWinScore

class SearchEngine : public MoveChooser {
 public:
  // book may be null: then no book is consulted.
  SearchEngine(const EngineSettings& settings, OpeningBook* book);

  // Puts the engine's move for side into out and returns true; false when
  // side has no legal move. The Board is changed during the search and
  // restored before return.
  bool chooseMove(Board& board, Side side, Move& out) override;

  // The search alone, without the book. Returns the root score; out gets the
  // best root move when one is recorded, and moved tells whether it was.
  int32_t searchRoot(Board& board, Side side, Move& out, bool& moved);
  // The same at a depth given by the caller.
  int32_t searchAtDepth(Board& board, Side side, int depth, Move& out, bool& moved);

  int32_t alphaBeta(Board& board, int depth, int32_t alpha, int32_t beta, Side side, Move& out);

  int rootDepthFor(const Board& board) const;

  // Statistics of the last search (the score is 0 when a book move was played).
  int32_t lastScore() const { return lastScore_; }
  uint64_t nodes() const { return nodes_; }
  uint64_t leafEvaluations() const { return evaluations_; }
  int rootDepth() const { return moveList_.rootDepth; }
  EvalCache* cache() { return cache_.get(); }

 private:
  int32_t searchNode(const Occupancy& occ, int depth, int32_t alpha, int32_t beta, Side side, Move& out);
  int32_t searchFrontier(const Occupancy& occ, int32_t alpha, int32_t beta, Side side, CellMoveCursor& cursor,
                         CellMove* moves, int ready, bool atRoot, Move& out);
  // safeStep: side surely has a safe step (a cheaper evaluation gives the same score).
  int32_t leafScore(const Occupancy& occ, Side side, bool safeStep = false);

  const EngineSettings settings_;
  OpeningBook* book_;
  MoveList moveList_{};
  std::unique_ptr<EvalCache> cache_;  // only when the settings want one
  std::unique_ptr<CircuitMemo> circuitMemo_;  // for the standard evaluation
  std::unique_ptr<ClassicMemo> classicMemo_;  // for the classic evaluation
  bool rootMoveRecorded_ = false;
  int32_t lastScore_ = 0;
  uint64_t nodes_ = 0;
  uint64_t evaluations_ = 0;
};

}  // namespace tovrane
