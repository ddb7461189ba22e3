#include "eval/pro_eval.h"

#include "eval/pro_eval_body.h"

namespace tovrane {

namespace {

struct SoftwareCount {
  [[gnu::always_inline]] static int32_t of(uint64_t bits) { return bitCount(bits); }
};

ProFeatures featuresInSoftware(const Occupancy& occ, RingMask rings, Side side) {
  return pro_eval_detail::computeProFeatures<SoftwareCount>(occ, rings, side);
}
int32_t scoreInSoftware(const Occupancy& occ, RingMask rings, Side side, const ProWeights& weights) {
  return pro_eval_detail::computeProScore<SoftwareCount>(occ, rings, side, weights);
}

// The build for this processor: with its bit-count instruction when it has one.
const ProEvalFunctions& evalFunctions() {
  static const ProEvalFunctions functions = [] {
    ProEvalFunctions f = proEvalWithBitCountInstruction();
    if (f.features == nullptr || f.score == nullptr) f = {featuresInSoftware, scoreInSoftware};
    return f;
  }();
  return functions;
}

}  // namespace

const char* proFeatureName(int feature) {
  static const char* const kNames[kProFeatureCount] = {
      "material", "crossing", "shared", "corner", "mobility", "targets", "threats", "loose-ours",
      "loose-theirs", "guarded", "loop-access", "crowding", "endgame-material", "tempo"};
  return feature >= 0 && feature < kProFeatureCount ? kNames[feature] : "?";
}

ProFeatures proFeatures(const Occupancy& occ, RingMask rings, Side side) {
  return evalFunctions().features(occ, rings, side);
}

ProFeatures proFeatures(const Board& board, Side side) {
  const Occupancy occ = occupancyOf(board);
  return proFeatures(occ, ringsOf(occ.pieces()), side);
}

int proPhase(const Board& board) {
  const int pieces = bitCount(occupancyOf(board).pieces());
  return pieces < kProPhaseMax ? pieces : kProPhaseMax;
}

int32_t proEvaluate(const Occupancy& occ, RingMask rings, Side side, const ProWeights& weights) {
  return evalFunctions().score(occ, rings, side, weights);
}

int32_t proEvaluate(const Board& board, Side side, const ProWeights& weights) {
  const Occupancy occ = occupancyOf(board);
  return proEvaluate(occ, ringsOf(occ.pieces()), side, weights);
}

// Fitted by `tovrane tune` to 7,444 quiet positions of 256 engine-pro
// self-play games (depth 5), then scaled to a piece of 100; the attack
// weights (targets to loose-theirs) are set by hand, as quiet positions
// hold no attacks to learn them from.
const ProWeights kProWeights = {{
    100,  // material
    2,    // crossing
    -3,   // shared
    -27,  // corner
    14,   // mobility
    30,   // targets
    -15,  // threats
    -10,  // loose-ours
    20,   // loose-theirs
    -21,  // guarded
    12,   // loop-access
    9,    // crowding
    -16,  // endgame-material
    -2,   // tempo
}, {
    100, 2, -3, -27, 14, 30, -15, -10, 20, -21, 12, 9, -16, -2,  // the same in the endgame, for now
}};

}  // namespace tovrane
