#include "eval/leaf_bounds.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/test_util.h"

namespace tovrane {
namespace {

// The claims the frontier of the search relies on, checked against the
// plain evaluators on the children of many positions: a child's score for
// the side that moved into it is a loss only when that side has one piece,
// a win only when the side to move has no piece or no sure safe step, and
// otherwise the square-sum lead or the lead plus the exposed penalty.
template <typename Eval>
void expectBoundsHold(const LeafBoundProfile& bounds, int& certifiedOffCorners) {
  std::vector<Board> boards = test::randomGamePositions(31, 40);
  std::mt19937 rng(17);
  for (int n = 0; n < 6000; ++n) boards.push_back(test::randomBoard(rng, 1 + static_cast<int>(rng() % 24)));
  Eval eval;
  MoveList list;
  for (const Board& board : boards) {
    if (countPieces(board, kWhite) > kPiecesPerSide || countPieces(board, kBlack) > kPiecesPerSide) continue;
    const Occupancy occ = occupancyOf(board);
    for (Side mover : {kWhite, kBlack}) {
      const Side toMove = opponent(mover);
      list.generateMoves(board, mover);
      const int32_t lead = squareSumLead(bounds, occ, mover);
      for (int i = 0; i < list.size(); ++i) {
        Board child = board;
        applyMove(child, list.moves[i]);
        const Occupancy after = occupancyOf(child);
        const int from = list.moves[i].fromRow * kBoardSize + list.moves[i].fromCol;
        const int to = list.moves[i].toRow * kBoardSize + list.moves[i].toCol;
        const int32_t lower = squareSumLead(bounds, after, mover);
        ASSERT_EQ(lead + squareSumGain(bounds, occ, mover, from, to), lower) << boardDigits(board);
        const int32_t score = -eval.evaluate(child, toMove);
        const bool sure = surelyHasSafeStep(bounds, after, toMove);
        if (sure) {
          // The corner rule is the classic profile's whole certificate.
          if (!surelyHasSafeStep(kClassicBounds, after, toMove)) ++certifiedOffCorners;
          const int32_t safe = toMove == kBlack ? eval.blackSafeSquares() : eval.whiteSafeSquares();
          ASSERT_GT(safe, 0) << boardDigits(child) << " side " << toMove;
        }
        if (score == kWinScore) {
          EXPECT_TRUE(after.of(toMove) == 0 || !sure) << boardDigits(child);
        } else if (score == kLossScore) {
          EXPECT_LE(cellCount(after.of(mover)), 1) << boardDigits(child);
        } else {
          EXPECT_TRUE(score == lower || score == lower + bounds.exposedPenalty)
              << boardDigits(child) << " score " << score << " lead " << lower;
        }
      }
    }
  }
}

TEST(LeafBounds, StandardScoresLieWithinTheBounds) {
  int offCorners = 0;
  expectBoundsHold<Evaluator>(kStandardBounds, offCorners);
  EXPECT_GT(offCorners, 10000);
}

TEST(LeafBounds, ClassicScoresLieWithinTheBounds) {
  int offCorners = 0;
  expectBoundsHold<ClassicEvaluator>(kClassicBounds, offCorners);
  EXPECT_EQ(offCorners, 0);
}

}  // namespace
}  // namespace tovrane
