#include "search/search_engine.h"

namespace tovrane {

SearchEngine::SearchEngine(const EngineSettings& settings, OpeningBook* book)
    : settings_(settings), book_(book) {
  if (settings_.leafCache) cache_ = std::make_unique<EvalCache>();
}

int SearchEngine::rootDepthFor(const Board& board) const {
  if (!settings_.depthTiers) return settings_.baseDepth;
  const int pieces = countPieces(board);
  if (pieces < 6) return settings_.baseDepth + 2;
  if (pieces < 14) return settings_.baseDepth + 1;
  return settings_.baseDepth;
}

bool SearchEngine::chooseMove(Board& board, Side side, Move& out) {
  nodes_ = 0;
  lastScore_ = 0;
  if (book_ != nullptr && book_->findBookMove(board, out, side)) return true;
  bool moved = false;
  Move best = out;
  lastScore_ = searchRoot(board, side, best, moved);
  if (moved) {
    out = best;
    return true;
  }
  // No root move recorded: the opponent has no move at the root, or we have
  // none. Play our first move if there is one; otherwise there is nothing to play.
  moveList_.generateMoves(board, side);
  if (moveList_.lastIndex < 0) return false;
  out = moveList_.moves[0];
  return true;
}

int32_t SearchEngine::searchRoot(Board& board, Side side, Move& out, bool& moved) {
  return searchAtDepth(board, side, rootDepthFor(board), out, moved);
}

int32_t SearchEngine::searchAtDepth(Board& board, Side side, int depth, Move& out, bool& moved) {
  moveList_.rootDepth = depth;
  nodes_ = 0;
  evaluations_ = 0;
  rootMoveRecorded_ = false;
  if (cache_) cache_->clear();
  const int32_t score = alphaBeta(board, moveList_.rootDepth, -kInfinity, kInfinity, side, out);
  if (cache_) cache_->releaseAll();
  moved = rootMoveRecorded_;
  return score;
}

int32_t SearchEngine::leafScore(const Board& board, Side side) {
  if (settings_.classicEvaluation) {
    ++evaluations_;
    return classicEvaluator_.evaluate(board, side);
  }
  int32_t score = 0;
  if (cache_ && cache_->lookup(board, score)) return score;
  ++evaluations_;
  score = evaluator_.evaluate(board, side);
  if (cache_) cache_->insert(board, score);
  return score;
}

int32_t SearchEngine::alphaBeta(Board& board, int depth, int32_t alpha, int32_t beta, Side side, Move& out) {
  return searchNode(board, occupancyOf(board), depth, alpha, beta, side, out);
}

int32_t SearchEngine::searchNode(Board& board, const Occupancy& occ, int depth, int32_t alpha, int32_t beta,
                                 Side side, Move& out) {
  ++nodes_;
  if (depth == 0) return leafScore(board, side);

  // Only whether the opponent can move matters here, not the list itself.
  if (!hasAnyCellMove(occ, opponent(side))) return kWinScore;
  CellMove moves[kMaxMoves];
  const int count = generateCellMoves(occ, side, moves);
  if (count == 0) return kLossScore;

  const bool atRoot = depth == moveList_.rootDepth;
  for (int i = 0; i < count; ++i) {
    const CellMove m = moves[i];
    int32_t& from = board.cells[m.from];
    int32_t& to = board.cells[m.to];
    const int32_t captured = to;
    to = from;
    from = kEmpty;
    const int32_t score =
        -searchNode(board, occupancyAfter(occ, side, m.from, m.to), depth - 1, -beta, -alpha, opponent(side), out);
    from = to;
    to = captured;
    if (score > alpha) {
      alpha = score;
      if (atRoot) {
        out = toMove(m);
        rootMoveRecorded_ = true;
      }
    }
    if (alpha >= beta) break;
  }
  return alpha;
}

}  // namespace tovrane
