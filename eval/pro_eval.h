#pragma once
// The evaluation of engine-pro: a weighted sum of features of a position,
// seen from the side to move, built for speed (one pass over the cells and
// one over each circuit ring) and for tuning (the features are plain
// integers, so the weights can be fitted to game results; see `tovrane tune`).
//
// The evaluation works on bit masks (the search keeps them up to date
// through make and unmake): counts are bit counts, neighbours are shifted
// masks, and along a ring only the ends of its four sides matter.
//
// Along a circuit ring, two pieces that follow each other with a corner
// loop between them see each other: of different colours, each can capture
// the other; of one colour, each guards the other. That is how the
// attack and guard features below are read, without generating moves (a
// piece's own second square on a crossing point is treated as a piece, so
// these are estimates; the search settles real captures).

#include <array>
#include <cstdint>

#include "game/bitboard.h"
#include "game/board.h"
#include "rules/capture_tables.h"

namespace tovrane {

enum ProFeature : int {
  kFeatMaterial,        // pieces: ours minus theirs (the squares below refine it; the 16 edge
                        // squares that are no corner are the baseline)
  kFeatCrossing,        // pieces on a crossing point of their circuit, ours minus theirs
  kFeatShared,          // pieces on a square of both circuits, ours minus theirs
  kFeatCorner,          // pieces on a corner square (no circuit), ours minus theirs
  kFeatMobility,        // step moves, ours minus theirs
  kFeatTargets,         // their pieces we attack (we move next)
  kFeatThreats,         // our pieces they attack
  kFeatLooseOurs,       // our pieces attacked and not guarded
  kFeatLooseTheirs,     // their pieces attacked and not guarded
  kFeatGuarded,         // guarded pieces, ours minus theirs
  kFeatLoopAccess,      // corner-loop passages a side's nearest piece can shoot through, ours minus theirs
  kFeatCrowding,        // friendly neighbours of our pieces minus of theirs (spread is its negative)
  kFeatEndgameMaterial, // material difference times the number of pieces taken so far, / 4
  kFeatTempo,           // 1: the side to move
  kProFeatureCount
};

using ProFeatures = std::array<int32_t, kProFeatureCount>;
using ProWeightRow = std::array<int32_t, kProFeatureCount>;

// The weights by game phase: the opening row applies with every piece on
// the board, the endgame row with none; in between they mix in proportion
// to the pieces left.
struct ProWeights {
  ProWeightRow opening;
  ProWeightRow endgame;
};
constexpr int kProPhaseMax = 2 * kPiecesPerSide;

// The phase of board: the pieces on it, 0 to kProPhaseMax (more are counted
// as kProPhaseMax).
int proPhase(const Board& board);

const char* proFeatureName(int feature);

// The tuned weights (a piece is worth about 100).
extern const ProWeights kProWeights;

// The features of board for side (1 or 2) to move.
ProFeatures proFeatures(const Board& board, Side side);
// The same from the masks of a position: occ its pieces, rings the ring
// entries they stand on (ringsOf(occ.pieces())).
ProFeatures proFeatures(const Occupancy& occ, RingMask rings, Side side);

// The weighted sum, sum of f[i] * (opening[i] * phase + endgame[i] *
// (kProPhaseMax - phase)) / kProPhaseMax; never a win or loss score: decided
// positions are the search's business.
int32_t proEvaluate(const Board& board, Side side, const ProWeights& weights = kProWeights);
int32_t proEvaluate(const Occupancy& occ, RingMask rings, Side side, const ProWeights& weights = kProWeights);

// The evaluation compiled for processors with a bit-count instruction, when
// this is one (one file per processor family); null members otherwise.
struct ProEvalFunctions {
  ProFeatures (*features)(const Occupancy& occ, RingMask rings, Side side);
  int32_t (*score)(const Occupancy& occ, RingMask rings, Side side, const ProWeights& weights);
};
ProEvalFunctions proEvalWithBitCountInstruction();

}  // namespace tovrane
