#include "search/search_engine.h"

#include "eval/leaf_bounds.h"
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

int32_t SearchEngine::leafScore(const Occupancy& occ, Side side, bool safeStep) {
  if (settings_.classicEvaluation) {
    ++evaluations_;
    return evaluateClassic(occ, side, classicMemo_.get());
  }
  int32_t score = 0;
  if (cache_ && cache_->lookup(occ, score)) return score;
  ++evaluations_;
  score = safeStep ? evaluateStandardWithSafeStep(occ, side) : evaluateStandard(occ, side, circuitMemo_.get());
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
  // Moves are worked out a piece at a time, as the loop reaches them.
  CellMoveCursor cursor(occ, side);
  CellMove moves[kMaxMoves];
  int ready = cursor.append(moves, 0);
  if (ready == 0) return kLossScore;

  const bool atRoot = depth == moveList_.rootDepth;
  if (depth == 1) return searchFrontier(occ, alpha, beta, side, cursor, moves, ready, atRoot, out);
  for (int i = 0; i < ready; ++i) {
    const CellMove m = moves[i];
    const int32_t score =
        -searchNode(occupancyAfter(occ, side, m.from, m.to), depth - 1, -beta, -alpha, opponent(side), out);
    if (score > alpha) {
      alpha = score;
      if (atRoot) {
        out = toMove(m);
        rootMoveRecorded_ = true;
      }
    }
    if (alpha >= beta) break;
    if (i + 1 == ready) ready = cursor.append(moves, ready);
  }
  return alpha;
}

// Children here are leaves, counted and scored in place. Many need no score
// at all (see leaf_bounds.h): one that cannot beat alpha by its square sums,
// while the opponent surely keeps a safe step, leaves alpha as it is; one
// that surely reaches beta ends the node, and the caller ignores any score
// at or above beta, so the bound serves as well as the exact score.
int32_t SearchEngine::searchFrontier(const Occupancy& occ, int32_t alpha, int32_t beta, Side side,
                                     CellMoveCursor& cursor, CellMove* moves, int ready, bool atRoot, Move& out) {
  const LeafBoundProfile& bounds = settings_.classicEvaluation ? kClassicBounds : kStandardBounds;
  const Side other = opponent(side);
  const int32_t lead = squareSumLead(bounds, occ, side);
  // With two pieces our count cannot reach zero at a leaf, so a leaf is
  // worth at least its lead to us. The root wants exact scores.
  const bool leadIsFloor = cellCount(occ.of(side)) >= 2 && !atRoot;
  // Leaves look up the cache: fetch each one's slot a few children ahead,
  // so that the wait hides behind evaluations even after a run of hits (a
  // hit has no work of its own to hide it behind).
  constexpr int kPrefetchAhead = 3;
  // Keeps the list kPrefetchAhead moves ahead of child i, where it has them.
  bool complete = false;
  auto fill = [&](int i) {
    while (!complete && i + kPrefetchAhead >= ready) {
      const int next = cursor.append(moves, ready);
      complete = next == ready;
      ready = next;
    }
  };
  EvalCache* const cache = cache_.get();
  auto prefetch = [&](int i) {
    const CellMove m = moves[i];
    cache->prefetch(occupancyAfter(occ, side, m.from, m.to));
  };
  fill(0);
  if (cache != nullptr) {
    for (int i = 0; i < kPrefetchAhead && i < ready; ++i) prefetch(i);
  }
  int i = 0;
  for (; i < ready; ++i) {
    const CellMove m = moves[i];
    fill(i);
    if (cache != nullptr && i + kPrefetchAhead < ready) prefetch(i + kPrefetchAhead);
    const Occupancy child = occupancyAfter(occ, side, m.from, m.to);
    const int32_t leafLead = lead + squareSumGain(bounds, occ, side, m.from, m.to);
    // (A side without pieces has no safe step either.)
    const bool safeStep = surelyHasSafeStep(bounds, child, other);
    if (safeStep && leafLead + bounds.exposedPenalty <= alpha) continue;
    const int32_t score = leadIsFloor && leafLead >= beta ? leafLead : -leafScore(child, other, safeStep);
    if (score > alpha) {
      alpha = score;
      if (atRoot) {
        out = toMove(m);
        rootMoveRecorded_ = true;
      }
    }
    if (alpha >= beta) {
      ++i;
      break;
    }
  }
  // Every child up to the last one looked at is a node.
  nodes_ += static_cast<uint64_t>(i);
  return alpha;
}

}  // namespace tovrane
