#include "search/search_engine.h"

#include "eval/occupancy_eval.h"

namespace tovrane {

SearchEngine::SearchEngine(const EngineSettings& settings, OpeningBook* book)
    : settings_(settings), book_(book) {
  if (settings_.leafCache) cache_ = std::make_unique<EvalCache>();
  if (settings_.classicEvaluation) {
    classicMemo_ = std::make_unique<ClassicMemo>();
  } else {
    circuitMemo_ = std::make_unique<CircuitMemo>();
  }
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

int32_t SearchEngine::leafScore(const Occupancy& occ, Side side) {
  if (settings_.classicEvaluation) {
    ++evaluations_;
    return evaluateClassic(occ, side, classicMemo_.get());
  }
  int32_t score = 0;
  if (cache_ && cache_->lookup(occ, score)) return score;
  ++evaluations_;
  score = evaluateStandard(occ, side, circuitMemo_.get());
  if (cache_) cache_->insert(score);
  return score;
}

int32_t SearchEngine::alphaBeta(Board& board, int depth, int32_t alpha, int32_t beta, Side side, Move& out) {
  return searchNode(occupancyOf(board), depth, alpha, beta, side, out);
}

int32_t SearchEngine::searchNode(const Occupancy& occ, int depth, int32_t alpha, int32_t beta, Side side,
                                 Move& out) {
  ++nodes_;
  if (depth == 0) return leafScore(occ, side);

  // Only whether the opponent can move matters here, not the list itself.
  if (!hasAnyCellMove(occ, opponent(side))) return kWinScore;
  CellMove moves[kMaxMoves];
  const int count = generateCellMoves(occ, side, moves);
  if (count == 0) return kLossScore;

  const bool atRoot = depth == moveList_.rootDepth;
  // Children that are leaves look up the cache: fetch each one's slot a few
  // children ahead, so that the wait hides behind evaluations even after a
  // run of hits (a hit has no work of its own to hide it behind).
  constexpr int kPrefetchAhead = 3;
  const bool prefetchLeaves = depth == 1 && cache_;
  if (prefetchLeaves) {
    for (int i = 0; i < kPrefetchAhead && i < count; ++i) {
      cache_->prefetch(occupancyAfter(occ, side, moves[i].from, moves[i].to));
    }
  }
  for (int i = 0; i < count; ++i) {
    const CellMove m = moves[i];
    if (prefetchLeaves && i + kPrefetchAhead < count) {
      const CellMove ahead = moves[i + kPrefetchAhead];
      cache_->prefetch(occupancyAfter(occ, side, ahead.from, ahead.to));
    }
    const Occupancy child = occupancyAfter(occ, side, m.from, m.to);
    int32_t score;
    if (depth == 1) {
      // A leaf, counted and scored here rather than through another call.
      ++nodes_;
      score = -leafScore(child, opponent(side));
    } else {
      score = -searchNode(child, depth - 1, -beta, -alpha, opponent(side), out);
    }
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
