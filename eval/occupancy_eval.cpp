#include "eval/occupancy_eval.h"

#include "eval/circuit_maps.h"
#include "eval/classic_profile.h"
#include "eval/evaluator.h"
#include "eval/piece_balance.h"

namespace tovrane {

namespace {

constexpr RowValueTable kBlackValues = makeRowValueTable(blackSquareValues);
constexpr RowValueTable kWhiteValues = makeRowValueTable(whiteSquareValues);
constexpr RowValueTable kClassicValues = makeRowValueTable(classicSquareValues);

// Everything after the maps: a colour avoids the empty squares in its
// avoid mask, and its pieces on exposed squares are exposed.
inline int32_t scoreFromMasks(const Occupancy& occ, Side side, CellMask blackAvoids, CellMask whiteAvoids,
                              CellMask blackExposedOn, CellMask whiteExposedOn, const RowValueTable& blackValues,
                              const RowValueTable& whiteValues, int32_t exposedPenalty) {
  const CellMask empty = occ.empty();
  const SideFigures black{cellCount(occ.black), sumOfValues(blackValues, occ.black),
                          cellCount(occ.black & blackExposedOn),
                          cellCount(kingSpread(occ.black) & empty & ~blackAvoids)};
  const SideFigures white{cellCount(occ.white), sumOfValues(whiteValues, occ.white),
                          cellCount(occ.white & whiteExposedOn),
                          cellCount(kingSpread(occ.white) & empty & ~whiteAvoids)};
  return decideFromFigures(side, black, white, exposedPenalty);
}

}  // namespace

int32_t evaluateStandard(const Occupancy& occ, Side side, CircuitMemo* memo) {
  if (side != kWhite && side != kBlack) return 0;
  const CircuitMasks maps = buildCircuitMasks(occ, memo);
  return scoreFromMasks(occ, side, maps.balanceBelow & maps.whiteReaches, maps.balanceAbove & maps.blackReaches,
                        maps.balanceBelow, maps.balanceAbove, kBlackValues, kWhiteValues, kExposedPiecePenalty);
}

int32_t evaluateStandardWithSafeStep(const Occupancy& occ, Side side) {
  if (side != kWhite && side != kBlack) return 0;
  const SignMasks balance = pieceBalanceSigns(occ);
  // Safe squares stand at one each: with the mover's not zero, they decide nothing.
  const SideFigures black{cellCount(occ.black), sumOfValues(kBlackValues, occ.black),
                          cellCount(occ.black & balance.below), 1};
  const SideFigures white{cellCount(occ.white), sumOfValues(kWhiteValues, occ.white),
                          cellCount(occ.white & balance.above), 1};
  return decideFromFigures(side, black, white, kExposedPiecePenalty);
}

int32_t evaluateClassic(const Occupancy& occ, Side side, ClassicMemo* memo) {
  if (side != kWhite && side != kBlack) return 0;
  const SignMasks map = classicMapSigns(occ, memo);
  return scoreFromMasks(occ, side, map.below, map.above, map.below, map.above, kClassicValues, kClassicValues,
                        classic::kExposedPiecePenalty);
}

}  // namespace tovrane
