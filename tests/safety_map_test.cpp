#include "eval/safety_map.h"

#include <gtest/gtest.h>

#include "eval/circuit_maps.h"
#include "tests/map_util.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

using test::boardWith;
using test::mapOf;
using test::mapText;

struct Built {
  PieceLists pieces;
  ThreatMap threat;
  BalanceMap balance;
  SafetyMap safety;
};

Built buildAll(const Board& board) {
  Built b{};
  buildPieceLists(board, b.pieces);
  buildCircuitMaps(board, b.threat, b.balance);
  buildSafetyMap(board, b.pieces, b.threat, b.balance, b.safety);
  return b;
}

// Safety of the given board against hand-made maps.
SafetyMap safetyWith(const Board& board, const SquareMap& threat, const SquareMap& balance) {
  PieceLists pieces;
  buildPieceLists(board, pieces);
  SafetyMap safety;
  buildSafetyMap(board, pieces, threat, balance, safety);
  return safety;
}

SquareMap uniform(int value) {
  SquareMap map{};
  for (int32_t& cell : map.cells) cell = value;
  return map;
}

// The map written literally: passes in list order and neighbourSteps order
// with bounds tests, then a counting pass.
SafetyMap referenceSafety(const Board& board, const PieceLists& pieces, const SquareMap& threat,
                          const SquareMap& balance) {
  SafetyMap map{};
  for (int i = 0; i < pieces.black.count; ++i) {
    for (const NeighbourStep& step : neighbourSteps) {
      const int r = pieces.black.squares[i].row + step.rowStep;
      const int c = pieces.black.squares[i].col + step.colStep;
      if (!inBounds(r, c) || board.at(r, c) != 0) continue;
      if (balance.at(r, c) < 0 && (threat.at(r, c) < 0 || threat.at(r, c) == 2)) continue;
      map.at(r, c) = 1;
    }
  }
  for (int i = 0; i < pieces.white.count; ++i) {
    for (const NeighbourStep& step : neighbourSteps) {
      const int r = pieces.white.squares[i].row + step.rowStep;
      const int c = pieces.white.squares[i].col + step.colStep;
      if (!inBounds(r, c) || board.at(r, c) != 0) continue;
      if (balance.at(r, c) > 0 && threat.at(r, c) > 0) continue;
      if (map.at(r, c) == 0) map.at(r, c) = 2;
      if (map.at(r, c) == 1) map.at(r, c) = 3;
    }
  }
  for (int32_t cell : map.cells) {
    map.blackSafeSquares += (cell & 1) != 0 ? 1 : 0;
    map.whiteSafeSquares += (cell & 2) != 0 ? 1 : 0;
  }
  return map;
}

TEST(PieceLists, InitialPositionInRowMajorOrder) {
  PieceLists pieces;
  buildPieceLists(test::initialBoard(), pieces);
  ASSERT_EQ(pieces.black.count, 12);
  ASSERT_EQ(pieces.white.count, 12);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(pieces.black.squares[i], (Square{i / 6, i % 6}));
    EXPECT_EQ(pieces.white.squares[i], (Square{4 + i / 6, i % 6}));
  }
}

TEST(PieceLists, RebuildStartsFromEmptyListsAndSkipsOtherCellValues) {
  PieceLists pieces;
  buildPieceLists(test::initialBoard(), pieces);
  Board board = boardWith({{5, 5, kBlack}, {0, 3, kWhite}, {2, 1, kBlack}, {2, 4, kWhite}});
  board.at(3, 3) = 3;
  buildPieceLists(board, pieces);
  ASSERT_EQ(pieces.black.count, 2);
  ASSERT_EQ(pieces.white.count, 2);
  EXPECT_EQ(pieces.black.squares[0], (Square{2, 1}));
  EXPECT_EQ(pieces.black.squares[1], (Square{5, 5}));
  EXPECT_EQ(pieces.white.squares[0], (Square{0, 3}));
  EXPECT_EQ(pieces.white.squares[1], (Square{2, 4}));
}

TEST(SafetyMap, InitialPositionRowTwoForBlackRowThreeForWhite) {
  const Built b = buildAll(test::initialBoard());
  EXPECT_EQ(mapText(b.safety.cells), mapText(mapOf({0, 0, 0, 0, 0, 0,  //
                                                    0, 0, 0, 0, 0, 0,  //
                                                    1, 1, 1, 1, 1, 1,  //
                                                    2, 2, 2, 2, 2, 2,  //
                                                    0, 0, 0, 0, 0, 0,  //
                                                    0, 0, 0, 0, 0, 0})));
  EXPECT_EQ(b.safety.blackSafeSquares, 6);
  EXPECT_EQ(b.safety.whiteSafeSquares, 6);
}

TEST(SafetyMap, NeighbourCountsOnCornerBorderAndInside) {
  // With zero maps every empty neighbour is safe.
  const SquareMap zero{};
  EXPECT_EQ(safetyWith(boardWith({{0, 0, kBlack}}), zero, zero).blackSafeSquares, 3);
  EXPECT_EQ(safetyWith(boardWith({{0, 3, kBlack}}), zero, zero).blackSafeSquares, 5);
  EXPECT_EQ(safetyWith(boardWith({{3, 3, kWhite}}), zero, zero).whiteSafeSquares, 8);
  EXPECT_EQ(safetyWith(boardWith({{5, 5, kWhite}}), zero, zero).whiteSafeSquares, 3);
}

TEST(SafetyMap, SideWithoutPiecesOrWithoutEmptyNeighboursCountsZero) {
  const SquareMap zero{};
  const SafetyMap lone = safetyWith(boardWith({{2, 2, kBlack}}), zero, zero);
  EXPECT_EQ(lone.whiteSafeSquares, 0);
  EXPECT_EQ(lone.blackSafeSquares, 8);
  // White boxed into a corner by black pieces.
  const SafetyMap boxed =
      safetyWith(boardWith({{0, 0, kWhite}, {0, 1, kBlack}, {1, 0, kBlack}, {1, 1, kBlack}}), zero, zero);
  EXPECT_EQ(boxed.whiteSafeSquares, 0);
  EXPECT_GT(boxed.blackSafeSquares, 0);
}

TEST(SafetyMap, SharedSquareCarriesBothFlagsAndCountsForBoth) {
  const SquareMap zero{};
  const SafetyMap between = safetyWith(boardWith({{2, 0, kBlack}, {2, 2, kWhite}}), zero, zero);
  EXPECT_EQ(between.at(2, 1), 3);
  // Next to two white pieces and one black piece, still 3 after the white pass.
  const SafetyMap crowded = safetyWith(boardWith({{0, 0, kBlack}, {0, 2, kWhite}, {1, 2, kWhite}}), zero, zero);
  EXPECT_EQ(crowded.at(1, 1), 3);
  EXPECT_EQ(crowded.at(0, 1), 3);
  // Each cell counted once per flag: black (0,0) reaches (0,1), (1,0),
  // (1,1); the whites reach (0,1), (0,3), (1,1), (1,3) and (2,1) to (2,3).
  EXPECT_EQ(crowded.blackSafeSquares, 3);
  EXPECT_EQ(crowded.whiteSafeSquares, 7);
}

TEST(SafetyMap, OccupiedSquaresNeverCarryAFlag) {
  const Built b = buildAll(boardWith({{2, 2, kBlack}, {2, 3, kWhite}, {3, 2, kWhite}, {3, 3, kBlack}}));
  EXPECT_EQ(b.safety.at(2, 2), 0);
  EXPECT_EQ(b.safety.at(2, 3), 0);
  EXPECT_EQ(b.safety.at(3, 2), 0);
  EXPECT_EQ(b.safety.at(3, 3), 0);
}

TEST(SafetyMap, BlackAvoidsOnlySquaresWhiteReachesAndOutnumbers) {
  const Board board = boardWith({{0, 0, kBlack}});
  // Balance -1: safe when only black reaches it, not when white does.
  EXPECT_EQ(safetyWith(board, uniform(1), uniform(-1)).blackSafeSquares, 3);
  EXPECT_EQ(safetyWith(board, uniform(-1), uniform(-1)).blackSafeSquares, 0);
  EXPECT_EQ(safetyWith(board, uniform(2), uniform(-1)).blackSafeSquares, 0);
  EXPECT_EQ(safetyWith(board, uniform(0), uniform(-1)).blackSafeSquares, 3);
  // Balance zero or in black's favour: safe whoever reaches it.
  EXPECT_EQ(safetyWith(board, uniform(-1), uniform(0)).blackSafeSquares, 3);
  EXPECT_EQ(safetyWith(board, uniform(2), uniform(3)).blackSafeSquares, 3);
}

TEST(SafetyMap, WhiteAvoidsOnlySquaresBlackReachesAndOutnumbers) {
  const Board board = boardWith({{5, 5, kWhite}});
  EXPECT_EQ(safetyWith(board, uniform(-1), uniform(2)).whiteSafeSquares, 3);
  EXPECT_EQ(safetyWith(board, uniform(1), uniform(2)).whiteSafeSquares, 0);
  EXPECT_EQ(safetyWith(board, uniform(2), uniform(2)).whiteSafeSquares, 0);
  EXPECT_EQ(safetyWith(board, uniform(0), uniform(2)).whiteSafeSquares, 3);
  EXPECT_EQ(safetyWith(board, uniform(1), uniform(0)).whiteSafeSquares, 3);
  EXPECT_EQ(safetyWith(board, uniform(2), uniform(-3)).whiteSafeSquares, 3);
}

TEST(SafetyMap, BuiltFromTheRealMaps) {
  // White on (2,0), black on (2,2) and (3,4): every empty neighbour of the
  // white piece is reached by black, which outnumbers white there.
  const Built b = buildAll(boardWith({{2, 0, kWhite}, {2, 2, kBlack}, {3, 4, kBlack}}));
  EXPECT_EQ(b.safety.whiteSafeSquares, 0) << mapText(b.threat) << "\n" << mapText(b.balance);
  EXPECT_GT(b.safety.blackSafeSquares, 0);
}

TEST(SafetyMap, MatchesLiteralPassesOnRandomGames) {
  for (const Board& board : test::randomGamePositions(3, 30)) {
    const Built b = buildAll(board);
    const SafetyMap expected = referenceSafety(board, b.pieces, b.threat, b.balance);
    ASSERT_EQ(mapText(b.safety.cells), mapText(expected.cells)) << boardDigits(board);
    ASSERT_EQ(b.safety.blackSafeSquares, expected.blackSafeSquares) << boardDigits(board);
    ASSERT_EQ(b.safety.whiteSafeSquares, expected.whiteSafeSquares) << boardDigits(board);
  }
}

TEST(ClassicSafetyMap, MapSignAloneDecides) {
  const Board board = boardWith({{0, 0, kBlack}, {5, 5, kWhite}});
  PieceLists pieces;
  buildPieceLists(board, pieces);
  SafetyMap safety;
  buildClassicSafetyMap(board, pieces, uniform(0), safety);
  EXPECT_EQ(safety.blackSafeSquares, 3);
  EXPECT_EQ(safety.whiteSafeSquares, 3);
  buildClassicSafetyMap(board, pieces, uniform(-1), safety);
  EXPECT_EQ(safety.blackSafeSquares, 0);
  EXPECT_EQ(safety.whiteSafeSquares, 3);
  buildClassicSafetyMap(board, pieces, uniform(1), safety);
  EXPECT_EQ(safety.blackSafeSquares, 3);
  EXPECT_EQ(safety.whiteSafeSquares, 0);
}

}  // namespace
}  // namespace tovrane
