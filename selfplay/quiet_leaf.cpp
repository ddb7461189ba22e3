#include "selfplay/quiet_leaf.h"

#include "eval/pro_eval.h"
#include "rules/move_generator.h"

namespace tovrane {

namespace {

constexpr int32_t kLostScore = 1000000;

struct CaptureSearch {
  const NetWeights* net = nullptr;
  Move pv[kMaxQuietCaptures + 1][kMaxQuietCaptures + 1];
  int pvLength[kMaxQuietCaptures + 1];

  // Alpha-beta over captures as in engine-pro's quiescence: a side without
  // a legal move has lost, otherwise it may stand pat on the evaluation.
  int32_t search(Board& board, Side side, int32_t alpha, int32_t beta, int ply) {
    pvLength[ply] = ply;
    MoveList list;
    list.generateMoves(board, side);
    if (list.lastIndex < 0) return -(kLostScore - ply);
    const int32_t standPat = net != nullptr ? netEvaluate(*net, occupancyOf(board), side) : proEvaluate(board, side);
    if (standPat >= beta || ply >= kMaxQuietCaptures) return standPat;
    int32_t best = standPat;
    if (best > alpha) alpha = best;
    for (int i = 0; i <= list.lastIndex; ++i) {
      const Move m = list.moves[i];
      const int32_t taken = board.at(m.toRow, m.toCol);
      if (taken == kEmpty) break;  // captures come first, then the steps
      // One capture may be listed twice, reached along both circuits.
      bool seen = false;
      for (int j = 0; j < i && !seen; ++j) seen = list.moves[j] == m;
      if (seen) continue;
      const int32_t mover = board.at(m.fromRow, m.fromCol);
      board.at(m.toRow, m.toCol) = mover;
      board.at(m.fromRow, m.fromCol) = kEmpty;
      const int32_t score = -search(board, opponent(side), -beta, -alpha, ply + 1);
      board.at(m.fromRow, m.fromCol) = mover;
      board.at(m.toRow, m.toCol) = taken;
      if (score > best) {
        best = score;
        if (score > alpha) {
          alpha = score;
          pv[ply][ply] = m;
          for (int k = ply + 1; k < pvLength[ply + 1]; ++k) pv[ply][k] = pv[ply + 1][k];
          pvLength[ply] = pvLength[ply + 1] > ply + 1 ? pvLength[ply + 1] : ply + 1;
          if (score >= beta) break;
        }
      }
    }
    return best;
  }
};

}  // namespace

QuietLeaf settleCaptures(const Board& board, Side side, const NetWeights* net) {
  CaptureSearch search;
  search.net = net;
  Board work = board;
  QuietLeaf leaf;
  leaf.score = search.search(work, side, -kLostScore - 1, kLostScore + 1, 0);
  leaf.board = board;
  leaf.side = side;
  leaf.captureCount = search.pvLength[0];
  for (int k = 0; k < leaf.captureCount; ++k) {
    leaf.captures[k] = search.pv[0][k];
    applyMove(leaf.board, leaf.captures[k]);
    leaf.side = opponent(leaf.side);
  }
  leaf.lost = !hasAnyMove(leaf.board, leaf.side);
  return leaf;
}

}  // namespace tovrane
