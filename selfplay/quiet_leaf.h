#pragma once
// Where the quiescence search settles. A search scores a position by
// following captures until the side to move prefers to stop (stand pat);
// the evaluation is trusted only there. Training positions are taken at
// that quiet leaf, not at the position the game stood in: a position with a
// capture pending is scored by the search, never by the evaluation, and in
// a position without any capture for either side the attack features are
// all zero (captures along a circuit work both ways). At a leaf where
// standing pat beat the captures, the pieces under attack are still on the
// board, so their features get weights that can be fitted.
//
// This is engine-pro's capture search written once more, small and on its
// own, because the search keeps its line to itself: the same alpha-beta
// over captures with the engine's evaluation (proEvaluate) standing pat and
// the same limit of 12 capture plies, but without the engine's fade of a
// score toward the quiet-ply draw (a search concern, not the position's).

#include <cstdint>

#include "eval/net_eval.h"
#include "game/board.h"

namespace tovrane {

constexpr int kMaxQuietCaptures = 12;

struct QuietLeaf {
  Board board{};  // the leaf: the position after the captures
  Side side = kBlack;  // to move at the leaf
  Move captures[kMaxQuietCaptures]{};
  int captureCount = 0;
  bool lost = false;  // the side to move at the leaf has no legal move
  int32_t score = 0;  // the capture search's score for the side to move at the start
};

// Follows the principal variation of the capture search from board with
// side to move to its quiet leaf. Allocates nothing.
// With net, the network stands pat instead of the hand-made evaluation.
QuietLeaf settleCaptures(const Board& board, Side side, const NetWeights* net = nullptr);

}  // namespace tovrane
