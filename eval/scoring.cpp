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
  struct Figures {
    int32_t count;
    int32_t score;
    int32_t exposed;
    int32_t safeSquares;
  };
  const Figures black{pieces.black.count, tally.blackScore, tally.blackExposed, safetyMap.blackSafeSquares};
  const Figures white{pieces.white.count, tally.whiteScore, tally.whiteExposed, safetyMap.whiteSafeSquares};
  Figures mover = side == kBlack ? black : white;
  Figures other = side == kBlack ? white : black;

  // The opponent will lose an exposed piece; the mover can save one of two.
  if (other.exposed >= 1) --other.count;
  if (mover.exposed > 1) {
    --mover.count;
  } else if (mover.exposed == 1) {
    mover.score -= exposedPenalty;
  }

  if (other.count == 0 && mover.count != 0) return kWinScore;
  if (mover.count == 0 && other.count != 0) return kLossScore;
  if (mover.safeSquares == 0 && other.safeSquares != 0) return kLossScore;
  return mover.score - other.score;
}

}  // namespace tovrane
