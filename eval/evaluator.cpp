#include "eval/evaluator.h"

namespace tovrane {

int32_t Evaluator::evaluate(const Board& board, Side side) {
  if (side != kWhite && side != kBlack) return 0;
  buildPieceLists(board, pieceLists_);
  buildCircuitMaps(board, threatMap_, balanceMap_);
  buildSafetyMap(board, pieceLists_, threatMap_, balanceMap_, safetyMap_);
  pieceTally_ = tallyPieces(pieceLists_, balanceMap_, blackSquareValues, whiteSquareValues);
  return decideScore(side, pieceLists_, pieceTally_, safetyMap_, kExposedPiecePenalty);
}

}  // namespace tovrane
