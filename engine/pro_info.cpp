#include "engine/pro_info.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "eval/pro_eval.h"

namespace tovrane {

int proPieceUnits(int pieces) {
  const int phase = std::clamp(pieces, 0, kProPhaseMax);
  return (kProWeights.opening[kFeatMaterial] * phase + kProWeights.endgame[kFeatMaterial] * (kProPhaseMax - phase)) /
         kProPhaseMax;
}

std::string proInfoLine(const ProResult& result, int pieces) {
  std::string line = "info depth ";
  line.append(std::to_string(result.depth)).append(" score ");
  if (result.score >= kProWinBound) {
    line.append("win ").append(std::to_string(kProWinScore - result.score));
  } else if (result.score <= -kProWinBound) {
    line.append("loss ").append(std::to_string(kProWinScore + result.score));
  } else {
    const int units = std::max(1, proPieceUnits(pieces));
    line.append(std::to_string(std::lround(result.score * 100.0 / units)));
  }
  line.append(" nodes ").append(std::to_string(result.nodes));
  if (result.pvLength > 0) {
    line.append(" pv");
    for (int k = 0; k < result.pvLength; ++k) line.append(" ").append(moveText(toMove(result.pv[k])));
  }
  return line;
}

}  // namespace tovrane
