#include "eval/evaluator.h"

#include <gtest/gtest.h>

#include "tests/map_util.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

using test::boardWith;

// Squares where a line of the small circuit crosses a line of the large one.
bool onBothCircuits(int r, int c) {
  const bool smallLine = r == 1 || r == 4 || c == 1 || c == 4;
  const bool largeLine = r == 2 || r == 3 || c == 2 || c == 3;
  return smallLine && largeLine;
}

TEST(SquareValues, FollowTheCircuitsAndEachColoursSide) {
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 6; ++c) {
      const bool corner = (r == 0 || r == 5) && (c == 0 || c == 5);
      const bool border = r == 0 || r == 5 || c == 0 || c == 5;
      const int base = corner ? 50 : border ? 100 : onBothCircuits(r, c) ? 150 : 120;
      EXPECT_EQ(blackSquareValues[r][c], base + (r == 3 || r == 4 ? 10 : 0)) << r << "," << c;
      EXPECT_EQ(whiteSquareValues[r][c], base + (r == 1 || r == 2 ? 10 : 0)) << r << "," << c;
      EXPECT_EQ(whiteSquareValues[r][c], blackSquareValues[5 - r][c]) << r << "," << c;
    }
  }
}

TEST(Evaluator, EmptyBoardAndUnknownSidesScoreZero) {
  Evaluator evaluator;
  EXPECT_EQ(evaluator.evaluate(Board{}, kBlack), 0);
  EXPECT_EQ(evaluator.evaluate(Board{}, kWhite), 0);
  EXPECT_EQ(evaluator.evaluate(test::initialBoard(), 0), 0);
  EXPECT_EQ(evaluator.evaluate(boardWith({{1, 0, kBlack}, {0, 2, kWhite}, {1, 2, kWhite}}), 3), 0);
}

TEST(Evaluator, InitialPositionIsLevel) {
  Evaluator evaluator;
  EXPECT_EQ(evaluator.evaluate(test::initialBoard(), kBlack), 0);
  EXPECT_EQ(evaluator.pieceTally().blackScore, 1240);
  EXPECT_EQ(evaluator.pieceTally().whiteScore, 1240);
  // Black on (0,2) and (0,3), white on (5,2) and (5,3) are exposed; both
  // counts drop by one and nobody loses points.
  EXPECT_EQ(evaluator.pieceTally().blackExposed, 2);
  EXPECT_EQ(evaluator.pieceTally().whiteExposed, 2);
  EXPECT_LT(evaluator.balanceMap().at(0, 2), 0);
  EXPECT_LT(evaluator.balanceMap().at(0, 3), 0);
  EXPECT_GT(evaluator.balanceMap().at(5, 2), 0);
  EXPECT_GT(evaluator.balanceMap().at(5, 3), 0);
  EXPECT_EQ(evaluator.blackSafeSquares(), 6);
  EXPECT_EQ(evaluator.whiteSafeSquares(), 6);
  EXPECT_EQ(evaluator.evaluate(test::initialBoard(), kWhite), 0);
}

TEST(Evaluator, ExposedLoneBlackPieceWinsForWhiteAndCostsBlack) {
  // Balance below zero on (1,0), not above zero on either white square.
  const Board board = boardWith({{1, 0, kBlack}, {0, 2, kWhite}, {1, 2, kWhite}});
  Evaluator evaluator;
  EXPECT_EQ(evaluator.evaluate(board, kWhite), kWinScore);
  EXPECT_LT(evaluator.balanceMap().at(1, 0), 0);
  EXPECT_LE(evaluator.balanceMap().at(0, 2), 0);
  EXPECT_LE(evaluator.balanceMap().at(1, 2), 0);
  EXPECT_GT(evaluator.blackSafeSquares(), 0);
  EXPECT_GT(evaluator.whiteSafeSquares(), 0);
  EXPECT_EQ(evaluator.evaluate(board, kBlack), 100 - 150 - (100 + 160));
}

TEST(Evaluator, ExposedLoneWhitePieceWinsForBlackAndCostsWhite) {
  // White reduced to one piece on (4,5), where the balance is above zero.
  const Board board = boardWith({{4, 5, kWhite}, {5, 3, kBlack}, {4, 3, kBlack}});
  Evaluator evaluator;
  EXPECT_EQ(evaluator.evaluate(board, kBlack), kWinScore);
  EXPECT_GT(evaluator.balanceMap().at(4, 5), 0);
  // With white to move the piece costs 150 points and no count.
  EXPECT_EQ(evaluator.evaluate(board, kWhite), 100 - 150 - (100 + 160));
}

TEST(Evaluator, SideWithoutSafeSquareLosesWhenTheOpponentHasOne) {
  // Every empty neighbour of the white piece is reached by black, which
  // outnumbers white there, and the white piece itself is exposed.
  const Board board = boardWith({{2, 0, kWhite}, {2, 2, kBlack}, {3, 4, kBlack}});
  Evaluator evaluator;
  EXPECT_EQ(evaluator.evaluate(board, kWhite), kLossScore);
  EXPECT_EQ(evaluator.whiteSafeSquares(), 0);
  EXPECT_GT(evaluator.blackSafeSquares(), 0);
  EXPECT_GT(evaluator.balanceMap().at(2, 0), 0);
  EXPECT_EQ(evaluator.evaluate(board, kBlack), kWinScore);
}

TEST(Evaluator, MissingSideDecidesTheGame) {
  Evaluator evaluator;
  const Board onlyBlack = boardWith({{2, 2, kBlack}, {0, 0, kBlack}});
  EXPECT_EQ(evaluator.evaluate(onlyBlack, kBlack), kWinScore);
  EXPECT_EQ(evaluator.evaluate(onlyBlack, kWhite), kLossScore);
  const Board onlyWhite = boardWith({{3, 3, kWhite}});
  EXPECT_EQ(evaluator.evaluate(onlyWhite, kBlack), kLossScore);
  EXPECT_EQ(evaluator.evaluate(onlyWhite, kWhite), kWinScore);
}

TEST(Evaluator, TwoExposedPiecesCostNoPoints) {
  // Black on (2,0) and (5,4) exposed, nothing white exposed: black's count
  // drops from 3 to 2 and its score keeps every square value.
  const Board board = boardWith({{2, 0, kBlack}, {5, 4, kBlack}, {5, 5, kBlack}, {2, 2, kWhite}, {4, 1, kWhite}});
  Evaluator evaluator;
  const int32_t score = evaluator.evaluate(board, kBlack);
  EXPECT_EQ(evaluator.pieceTally().blackExposed, 2);
  EXPECT_EQ(evaluator.pieceTally().whiteExposed, 0);
  EXPECT_EQ(score, (100 + 100 + 50) - (130 + 120));
}

// The decision steps on hand-made figures.
struct Figures {
  int blackCount, whiteCount, blackExposed, whiteExposed, blackSafe, whiteSafe;
};

int32_t decide(Side side, const Figures& f) {
  PieceLists pieces{};
  pieces.black.count = f.blackCount;
  pieces.white.count = f.whiteCount;
  const PieceTally tally{1000, 700, f.blackExposed, f.whiteExposed};
  SafetyMap safety{};
  safety.blackSafeSquares = f.blackSafe;
  safety.whiteSafeSquares = f.whiteSafe;
  return decideScore(side, pieces, tally, safety, kExposedPiecePenalty);
}

TEST(DecideScore, StepsInOrder) {
  // Plain difference, from either side.
  EXPECT_EQ(decide(kBlack, {3, 3, 0, 0, 1, 1}), 300);
  EXPECT_EQ(decide(kWhite, {3, 3, 0, 0, 1, 1}), -300);
  // One exposed piece of the mover costs points; the opponent's only count.
  EXPECT_EQ(decide(kBlack, {3, 3, 1, 1, 1, 1}), 150);
  EXPECT_EQ(decide(kWhite, {3, 3, 1, 1, 1, 1}), -450);
  // Two or more: count minus one, no points.
  EXPECT_EQ(decide(kBlack, {3, 3, 5, 0, 1, 1}), 300);
  EXPECT_EQ(decide(kBlack, {2, 3, 2, 0, 1, 1}), 300);
  // The opponent's last piece exposed wins; many exposed take one only.
  EXPECT_EQ(decide(kBlack, {3, 1, 0, 1, 1, 1}), kWinScore);
  EXPECT_EQ(decide(kBlack, {3, 2, 0, 2, 1, 1}), 300);
  // Win before loss, loss on material before loss on safety.
  EXPECT_EQ(decide(kWhite, {1, 1, 1, 1, 1, 1}), kWinScore);
  EXPECT_EQ(decide(kWhite, {0, 0, 0, 0, 1, 1}), -300);
  EXPECT_EQ(decide(kWhite, {2, 0, 0, 0, 0, 1}), kLossScore);
  // No safe square: lost only if the opponent has one.
  EXPECT_EQ(decide(kBlack, {3, 3, 0, 0, 0, 4}), kLossScore);
  EXPECT_EQ(decide(kBlack, {3, 3, 0, 0, 0, 0}), 300);
  EXPECT_EQ(decide(kWhite, {3, 3, 0, 0, 4, 0}), kLossScore);
  EXPECT_EQ(decide(kWhite, {3, 3, 0, 0, 0, 0}), -300);
  // The opponent lacking safe squares does not matter.
  EXPECT_EQ(decide(kBlack, {3, 3, 0, 0, 4, 0}), 300);
}

TEST(Evaluator, LeavesTheBoardAloneAndRepeats) {
  for (const Board& board : test::randomGamePositions(21, 3)) {
    const Board before = board;
    Evaluator evaluator;
    const int32_t first = evaluator.evaluate(board, kBlack);
    EXPECT_EQ(board, before);
    EXPECT_EQ(evaluator.evaluate(board, kWhite), evaluator.evaluate(board, kWhite));
    EXPECT_EQ(evaluator.evaluate(board, kBlack), first);
  }
}

TEST(Evaluator, InstancesAreIndependent) {
  Evaluator a;
  Evaluator b;
  a.evaluate(test::initialBoard(), kBlack);
  const BalanceMap kept = a.balanceMap();
  const int32_t keptSafe = a.blackSafeSquares();
  b.evaluate(boardWith({{1, 1, kBlack}}), kWhite);
  EXPECT_EQ(a.balanceMap(), kept);
  EXPECT_EQ(a.blackSafeSquares(), keptSafe);
  EXPECT_NE(b.balanceMap(), kept);
}

// The evaluation written out per side to move, straight from the rule and
// decision tables, on top of the maps.
int32_t referenceEvaluate(const Board& board, Side side) {
  if (side != 1 && side != 2) return 0;
  PieceLists pieces;
  buildPieceLists(board, pieces);
  ThreatMap threat;
  BalanceMap balance;
  buildCircuitMaps(board, threat, balance);
  SafetyMap safety;
  buildSafetyMap(board, pieces, threat, balance, safety);
  int blackExposed = 0, whiteExposed = 0, blackScore = 0, whiteScore = 0;
  int blackCount = pieces.black.count, whiteCount = pieces.white.count;
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 6; ++c) {
      if (board.at(r, c) == 2) {
        blackScore += blackSquareValues[r][c];
        if (balance.at(r, c) < 0) ++blackExposed;
      } else if (board.at(r, c) == 1) {
        whiteScore += whiteSquareValues[r][c];
        if (balance.at(r, c) > 0) ++whiteExposed;
      }
    }
  }
  const int blackSafe = safety.blackSafeSquares, whiteSafe = safety.whiteSafeSquares;
  if (side == 2) {
    if (whiteExposed >= 1) --whiteCount;
    if (blackExposed > 1) {
      --blackCount;
    } else if (blackExposed == 1) {
      blackScore -= 150;
    }
    if (whiteCount == 0 && blackCount != 0) return kWinScore;
    if (blackCount == 0 && whiteCount != 0) return kLossScore;
    if (blackSafe == 0 && whiteSafe != 0) return kLossScore;
    return blackScore - whiteScore;
  }
  if (blackExposed >= 1) --blackCount;
  if (whiteExposed > 1) {
    --whiteCount;
  } else if (whiteExposed == 1) {
    whiteScore -= 150;
  }
  if (blackCount == 0 && whiteCount != 0) return kWinScore;
  if (whiteCount == 0 && blackCount != 0) return kLossScore;
  if (whiteSafe == 0 && blackSafe != 0) return kLossScore;
  return whiteScore - blackScore;
}

TEST(Evaluator, MatchesTheRulesWrittenOutOnRandomGames) {
  Evaluator evaluator;
  int decided = 0;
  for (const Board& board : test::randomGamePositions(17, 40)) {
    for (Side side : {kWhite, kBlack}) {
      const int32_t score = evaluator.evaluate(board, side);
      ASSERT_EQ(score, referenceEvaluate(board, side)) << boardDigits(board) << " side " << side;
      decided += (score == kWinScore || score == kLossScore) ? 1 : 0;
    }
  }
  EXPECT_GT(decided, 0);
}

}  // namespace
}  // namespace tovrane
