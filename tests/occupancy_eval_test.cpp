#include "eval/occupancy_eval.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "eval/circuit_maps.h"
#include "eval/classic_profile.h"
#include "eval/evaluator.h"
#include "eval/leaf_bounds.h"
#include "eval/piece_balance.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

// Positions from random games plus random boards of every density, from a
// lone piece to a full board.
std::vector<Board> manyBoards() {
  std::vector<Board> boards = test::randomGamePositions(21, 60);
  std::mt19937 rng(5);
  for (int n = 0; n < 20000; ++n) boards.push_back(test::randomBoard(rng, 1 + static_cast<int>(rng() % kCellCount)));
  return boards;
}

CellMask cellsWhere(const SquareMap& map, bool (*test)(int32_t)) {
  CellMask mask = 0;
  for (int cell = 0; cell < kCellCount; ++cell) mask |= CellMask{test(map.cells[cell])} << cell;
  return mask;
}

TEST(OccupancyEval, CircuitMasksAreTheSignsOfTheCircuitMaps) {
  for (const Board& board : manyBoards()) {
    ThreatMap threat;
    BalanceMap balance;
    buildCircuitMaps(board, threat, balance);
    const CircuitMasks masks = buildCircuitMasks(occupancyOf(board));
    ASSERT_EQ(masks.balanceBelow, cellsWhere(balance, [](int32_t v) { return v < 0; })) << boardDigits(board);
    ASSERT_EQ(masks.balanceAbove, cellsWhere(balance, [](int32_t v) { return v > 0; })) << boardDigits(board);
    ASSERT_EQ(masks.blackReaches, cellsWhere(threat, [](int32_t v) { return v == 1 || v == 2; }))
        << boardDigits(board);
    ASSERT_EQ(masks.whiteReaches, cellsWhere(threat, [](int32_t v) { return v == -1 || v == 2; }))
        << boardDigits(board);
  }
}

TEST(OccupancyEval, ClassicSignsAreTheSignsOfTheClassicMap) {
  // One-coloured crowded boards give long runs and large map values too.
  std::vector<Board> boards = manyBoards();
  std::mt19937 rng(9);
  for (int n = 0; n < 2000; ++n) {
    Board board = test::randomBoard(rng, 20 + static_cast<int>(rng() % 17));
    const int32_t colour = n % 2 == 0 ? kBlack : kWhite;
    for (int32_t& cell : board.cells) cell = cell != kEmpty ? colour : kEmpty;
    boards.push_back(board);
  }
  for (const Board& board : boards) {
    BalanceMap map;
    buildClassicCircuitMap(board, map);
    const SignMasks signs = classicMapSigns(occupancyOf(board));
    ASSERT_EQ(signs.below, cellsWhere(map, [](int32_t v) { return v < 0; })) << boardDigits(board);
    ASSERT_EQ(signs.above, cellsWhere(map, [](int32_t v) { return v > 0; })) << boardDigits(board);
  }
}

TEST(OccupancyEval, ScoresEqualTheEvaluators) {
  Evaluator standard;
  ClassicEvaluator classic;
  auto memo = std::make_unique<CircuitMemo>();  // shared by all, as in a search
  for (const Board& board : manyBoards()) {
    // The evaluators' piece lists hold twelve pieces a colour, as in a game.
    if (countPieces(board, kBlack) > kPiecesPerSide || countPieces(board, kWhite) > kPiecesPerSide) continue;
    for (Side side : {kWhite, kBlack}) {
      const int32_t expected = standard.evaluate(board, side);
      ASSERT_EQ(evaluateStandard(occupancyOf(board), side), expected) << boardDigits(board);
      ASSERT_EQ(evaluateStandard(occupancyOf(board), side, memo.get()), expected) << boardDigits(board);
      ASSERT_EQ(evaluateClassic(occupancyOf(board), side), classic.evaluate(board, side)) << boardDigits(board);
    }
  }
  EXPECT_EQ(evaluateStandard(occupancyOf(test::initialBoard()), 0), 0);
  EXPECT_EQ(evaluateClassic(occupancyOf(test::initialBoard()), 3), 0);
}

TEST(OccupancyEval, MemoGivesTheSameMasksAsComputingAfresh) {
  // Many boards through one memo, so that slots are shared and replaced,
  // the two circuits of one position among them.
  auto memo = std::make_unique<CircuitMemo>();
  auto classicMemo = std::make_unique<ClassicMemo>();
  std::mt19937 rng(17);
  for (int n = 0; n < 200000; ++n) {
    Board board = test::randomBoard(rng, 1 + static_cast<int>(rng() % 36));
    if (n % 10 == 0) {
      for (int32_t& cell : board.cells) cell = cell != kEmpty ? kBlack : kEmpty;  // long runs, large values
    }
    const Occupancy occ = occupancyOf(board);
    const CircuitMasks fresh = buildCircuitMasks(occ);
    const CircuitMasks remembered = buildCircuitMasks(occ, memo.get());
    ASSERT_EQ(remembered.balanceBelow, fresh.balanceBelow) << n;
    ASSERT_EQ(remembered.balanceAbove, fresh.balanceAbove) << n;
    ASSERT_EQ(remembered.blackReaches, fresh.blackReaches) << n;
    ASSERT_EQ(remembered.whiteReaches, fresh.whiteReaches) << n;
    const SignMasks classicFresh = classicMapSigns(occ);
    const SignMasks classicRemembered = classicMapSigns(occ, classicMemo.get());
    ASSERT_EQ(classicRemembered.below, classicFresh.below) << n;
    ASSERT_EQ(classicRemembered.above, classicFresh.above) << n;
  }
}

TEST(OccupancyEval, SignMasksReadEveryByteValue) {
  for (int v = -128; v < 128; ++v) {
    alignas(8) int8_t bytes[40] = {};
    int16_t words[kCellCount] = {};
    const int cell = (v + 128) % kCellCount;
    bytes[cell] = static_cast<int8_t>(v);
    words[cell] = static_cast<int16_t>(v * 200);
    const SignMasks a = signMasks(bytes);
    const SignMasks b = signMasks(words);
    EXPECT_EQ(a.below, v < 0 ? cellBit(cell) : 0) << v;
    EXPECT_EQ(a.above, v > 0 ? cellBit(cell) : 0) << v;
    EXPECT_EQ(b.below, v < 0 ? cellBit(cell) : 0) << v;
    EXPECT_EQ(b.above, v > 0 ? cellBit(cell) : 0) << v;
  }
}

// The pieces' balances from the line ends alone, and the score built on
// them where the side to move surely has a safe step, against the full maps.
TEST(OccupancyEval, PieceBalancesAndSafeStepScoresMatchTheFullMaps) {
  int shortcuts = 0;
  for (const Board& board : manyBoards()) {
    const Occupancy occ = occupancyOf(board);
    BalanceMap balance;
    ThreatMap threat;
    buildCircuitMaps(board, threat, balance);
    const SignMasks signs = pieceBalanceSigns(occ);
    ASSERT_EQ(signs.below, occ.pieces() & cellsWhere(balance, [](int32_t v) { return v < 0; })) << boardDigits(board);
    ASSERT_EQ(signs.above, occ.pieces() & cellsWhere(balance, [](int32_t v) { return v > 0; })) << boardDigits(board);
    for (Side side : {kWhite, kBlack}) {
      if (!surelyHasSafeStep(kStandardBounds, occ, side)) continue;
      ++shortcuts;
      ASSERT_EQ(evaluateStandardWithSafeStep(occ, side), evaluateStandard(occ, side)) << boardDigits(board);
    }
  }
  EXPECT_GT(shortcuts, 10000);
}

}  // namespace
}  // namespace tovrane
