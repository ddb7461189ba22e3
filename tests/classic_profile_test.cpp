#include "eval/classic_profile.h"

#include <gtest/gtest.h>

#include "rules/circuits.h"
#include "tests/map_util.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

using test::boardWith;
using test::mapOf;
using test::mapText;

BalanceMap classicMapOf(const Board& board) {
  BalanceMap map;
  buildClassicCircuitMap(board, map);
  return map;
}

// Routes taken from the capture tracks instead of the route table: a piece
// leaving a line through the corner loop at its end follows the track that
// passes that loop outwards for one lap (four lines), and each line after
// the first leaves out its crossing with the line before it.
BalanceMap referenceClassicMap(const Board& board) {
  BalanceMap map{};
  const Square ends[16] = {{0, 1}, {5, 1}, {0, 2}, {5, 2}, {0, 3}, {5, 3}, {0, 4}, {5, 4},
                           {1, 0}, {1, 5}, {2, 0}, {2, 5}, {3, 0}, {3, 5}, {4, 0}, {4, 5}};
  for (const Square end : ends) {
    int found = 0;
    for (const CircuitTrack* track : kCaptureTracks) {
      auto at = [&](int k) { return track->entries[(k + 48) % 24]; };
      for (int k = 0; k < 24; ++k) {
        if (!(at(k - 1) == end) || !isLoopPassage(at(k - 1), at(k))) continue;
        ++found;
        // Inward from the end along its own line.
        int first = 0;
        while (first < 6 && board.at(at(k - 1 - first).row, at(k - 1 - first).col) == 0) ++first;
        if (first == 6) continue;
        const int32_t colour = board.at(at(k - 1 - first).row, at(k - 1 - first).col);
        int run = 0;
        while (first + run < 6 && board.at(at(k - 1 - first - run).row, at(k - 1 - first - run).col) == colour) {
          ++run;
        }
        const int contribution = colour == kBlack ? run : -run;
        bool stopped = false;
        for (int leg = 0; leg < 4 && !stopped; ++leg) {
          for (int step = 0; step < 6 && !stopped; ++step) {
            const Square s = at(k + 6 * leg + step);
            bool repeat = false;
            for (int back = 0; leg > 0 && back < 6; ++back) repeat = repeat || at(k + 6 * (leg - 1) + back) == s;
            if (repeat) continue;
            map.at(s.row, s.col) += contribution;
            stopped = board.at(s.row, s.col) != 0;
          }
        }
      }
    }
    EXPECT_EQ(found, 1) << end.row << "," << end.col;
  }
  return map;
}

Board halfTurnColoursExchanged(const Board& board) {
  Board turned{};
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 6; ++c) {
      const int32_t v = board.at(5 - r, 5 - c);
      turned.at(r, c) = v == kBlack ? kWhite : v == kWhite ? kBlack : v;
    }
  }
  return turned;
}

TEST(ClassicSquareValues, FollowTheDiagonalsAndBorder) {
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 6; ++c) {
      const bool corner = (r == 0 || r == 5) && (c == 0 || c == 5);
      const bool diagonal = r == c || r + c == 5;
      const bool nextToCentre = (r >= 1 && r <= 4 && c >= 1 && c <= 4) && !diagonal;
      const int expected = corner ? 5 : diagonal ? 15 : nextToCentre ? 12 : 10;
      EXPECT_EQ(classicSquareValues[r][c], expected) << r << "," << c;
    }
  }
  EXPECT_EQ(classicSquareValues[2][2], 15);
  EXPECT_EQ(classicSquareValues[1][2], 12);
  EXPECT_EQ(classicSquareValues[0][3], 10);
  EXPECT_EQ(classicSquareValues[5][0], 5);
}

TEST(ClassicCircuitMap, EmptyBoardAndCornerPiecesGiveZero) {
  EXPECT_EQ(classicMapOf(Board{}), SquareMap{});
  EXPECT_EQ(classicMapOf(boardWith({{0, 0, kBlack}, {0, 5, kWhite}, {5, 0, kWhite}, {5, 5, kBlack}})), SquareMap{});
}

TEST(ClassicCircuitMap, LoneBlackPieceOnSmallCrossingPoint) {
  const BalanceMap map = classicMapOf(boardWith({{1, 1, kBlack}}));
  EXPECT_EQ(map, mapOf({0, 1, 0, 0, 2, 0,  //
                        1, 4, 1, 1, 2, 1,  //
                        0, 1, 0, 0, 2, 0,  //
                        0, 1, 0, 0, 2, 0,  //
                        2, 2, 2, 2, 2, 2,  //
                        0, 1, 0, 0, 2, 0}))
      << mapText(map);
}

TEST(ClassicCircuitMap, RunCountsPiecesBehindTheNearestOne) {
  // Column 1 sees a run of two from either end, row 1 a run of one.
  const BalanceMap map = classicMapOf(boardWith({{0, 1, kBlack}, {1, 1, kBlack}}));
  EXPECT_EQ(map, mapOf({0, 1, 0, 0, 3, 0,  //
                        2, 5, 2, 2, 3, 2,  //
                        0, 1, 0, 0, 3, 0,  //
                        0, 1, 0, 0, 3, 0,  //
                        3, 3, 3, 3, 3, 3,  //
                        0, 1, 0, 0, 3, 0}))
      << mapText(map);
}

TEST(ClassicCircuitMap, LoneWhitePieceOnLargeCrossingPoint) {
  const BalanceMap map = classicMapOf(boardWith({{2, 3, kWhite}}));
  EXPECT_EQ(map, mapOf({0,  0,  -2, -1, 0,  0,   //
                        0,  0,  -2, -1, 0,  0,   //
                        -1, -1, -2, -4, -1, -1,  //
                        -2, -2, -2, -2, -2, -2,  //
                        0,  0,  -2, -1, 0,  0,   //
                        0,  0,  -2, -1, 0,  0}))
      << mapText(map);
}

TEST(ClassicCircuitMap, InitialPosition) {
  const BalanceMap map = classicMapOf(test::initialBoard());
  EXPECT_EQ(map, mapOf({0,  6,  2,  2,  6,  0,   //
                        2,  0,  0,  0,  0,  2,   //
                        4,  4,  4,  4,  4,  4,   //
                        -4, -4, -4, -4, -4, -4,  //
                        -2, 0,  0,  0,  0,  -2,  //
                        0,  -6, -2, -2, -6, 0}))
      << mapText(map);
}

TEST(ClassicCircuitMap, HalfTurnWithColoursExchangedTurnsAndNegatesTheMap) {
  for (const Board& board : test::randomGamePositions(29, 30)) {
    const BalanceMap map = classicMapOf(board);
    const BalanceMap turned = classicMapOf(halfTurnColoursExchanged(board));
    for (int r = 0; r < 6; ++r) {
      for (int c = 0; c < 6; ++c) {
        ASSERT_EQ(turned.at(r, c), -map.at(5 - r, 5 - c)) << boardDigits(board) << " " << r << "," << c;
      }
    }
  }
}

TEST(ClassicCircuitMap, MatchesRoutesTakenFromTheTracks) {
  for (const Board& board : test::randomGamePositions(31, 40)) {
    const BalanceMap map = classicMapOf(board);
    const BalanceMap expected = referenceClassicMap(board);
    ASSERT_EQ(map, expected) << boardDigits(board) << "\n" << mapText(map) << "\n" << mapText(expected);
  }
  std::mt19937 rng(9);
  for (int n = 0; n < 2000; ++n) {
    Board board{};
    const int pieces = 1 + static_cast<int>(rng() % 5);
    for (int p = 0; p < pieces; ++p) board.cells[rng() % kCellCount] = 1 + static_cast<int32_t>(rng() % 2);
    ASSERT_EQ(classicMapOf(board), referenceClassicMap(board)) << boardDigits(board);
  }
}

TEST(ClassicEvaluator, InitialPositionIsLevelWithNothingExposed) {
  ClassicEvaluator evaluator;
  EXPECT_EQ(evaluator.evaluate(test::initialBoard(), kBlack), 0);
  EXPECT_EQ(evaluator.pieceTally().blackScore, 124);
  EXPECT_EQ(evaluator.pieceTally().whiteScore, 124);
  EXPECT_EQ(evaluator.pieceTally().blackExposed, 0);
  EXPECT_EQ(evaluator.pieceTally().whiteExposed, 0);
  EXPECT_EQ(mapText(evaluator.safetyMap().cells), mapText(mapOf({0, 0, 0, 0, 0, 0,  //
                                                                 0, 0, 0, 0, 0, 0,  //
                                                                 1, 1, 1, 1, 1, 1,  //
                                                                 2, 2, 2, 2, 2, 2,  //
                                                                 0, 0, 0, 0, 0, 0,  //
                                                                 0, 0, 0, 0, 0, 0})));
  EXPECT_EQ(evaluator.blackSafeSquares(), 6);
  EXPECT_EQ(evaluator.whiteSafeSquares(), 6);
  EXPECT_EQ(evaluator.evaluate(test::initialBoard(), kWhite), 0);
}

TEST(ClassicEvaluator, OneExposedPieceOfTheMoverCostsTwentyFive) {
  // Black on (2,4) is exposed; nothing white is.
  const Board board = boardWith({{2, 4, kBlack}, {4, 0, kBlack}, {1, 4, kBlack}, {3, 3, kWhite}, {0, 0, kWhite}});
  ClassicEvaluator evaluator;
  EXPECT_EQ(evaluator.evaluate(board, kBlack), (12 + 10 + 15) - 25 - (15 + 5));
  EXPECT_EQ(evaluator.pieceTally().blackExposed, 1);
  EXPECT_EQ(evaluator.pieceTally().whiteExposed, 0);
  // With white to move the black piece costs black a count, not points.
  EXPECT_EQ(evaluator.evaluate(board, kWhite), (15 + 5) - (12 + 10 + 15));
  // The same position turned with colours exchanged, white to move.
  EXPECT_EQ(evaluator.evaluate(halfTurnColoursExchanged(board), kWhite), (12 + 10 + 15) - 25 - (15 + 5));
}

TEST(ClassicEvaluator, SharesTheDecisionSteps) {
  ClassicEvaluator evaluator;
  EXPECT_EQ(evaluator.evaluate(Board{}, kBlack), 0);
  EXPECT_EQ(evaluator.evaluate(test::initialBoard(), 0), 0);
  EXPECT_EQ(evaluator.evaluate(boardWith({{2, 2, kBlack}}), kBlack), kWinScore);
  EXPECT_EQ(evaluator.evaluate(boardWith({{2, 2, kBlack}}), kWhite), kLossScore);
}

TEST(ClassicEvaluator, LeavesTheBoardAloneAndInstancesAreIndependent) {
  const Board board = test::initialBoard();
  ClassicEvaluator a;
  ClassicEvaluator b;
  a.evaluate(board, kBlack);
  const BalanceMap kept = a.balanceMap();
  b.evaluate(boardWith({{2, 3, kWhite}}), kWhite);
  EXPECT_EQ(board, test::initialBoard());
  EXPECT_EQ(a.balanceMap(), kept);
  EXPECT_NE(b.balanceMap(), kept);
}

}  // namespace
}  // namespace tovrane
