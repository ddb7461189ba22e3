#include "eval/scoring.h"

namespace tovrane {

PieceTally tallyPieces(const PieceLists& pieces, const BalanceMap& balanceMap, const SquareValues& blackValues,
                       const SquareValues& whiteValues) {
  PieceTally tally{};
  for (int i = 0; i < pieces.black.count; ++i) {
    const Square s = pieces.black.squares[i];
    tally.blackScore += blackValues[s.row][s.col];
    tally.blackExposed += balanceMap.at(s.row, s.col) < 0 ? 1 : 0;
  }
  for (int i = 0; i < pieces.white.count; ++i) {
    const Square s = pieces.white.squares[i];
    tally.whiteScore += whiteValues[s.row][s.col];
    tally.whiteExposed += balanceMap.at(s.row, s.col) > 0 ? 1 : 0;
  }
  return tally;
}

int32_t decideScore(Side side, const PieceLists& pieces, const PieceTally& tally, const SafetyMap& safetyMap,
                    int32_t exposedPenalty) {
  const SideFigures black{pieces.black.count, tally.blackScore, tally.blackExposed, safetyMap.blackSafeSquares};
  const SideFigures white{pieces.white.count, tally.whiteScore, tally.whiteExposed, safetyMap.whiteSafeSquares};
  return decideFromFigures(side, black, white, exposedPenalty);
}

}  // namespace tovrane
