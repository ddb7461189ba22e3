#include "rules/move_generator.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "rules/circuits.h"
#include "rules/mask_move_generator.h"
#include "rules/perft.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

using test::boardWith;

std::vector<std::string> listOf(const Board& board, Side side) {
  MoveList list;
  list.generateMoves(board, side);
  std::vector<std::string> out;
  for (int i = 0; i <= list.lastIndex; ++i) out.push_back(moveText(list.moves[i]));
  return out;
}

// A second generator written straight from the rules, with no precomputed
// tables and walks running to entry 47, to check the fast one against.
std::vector<Move> referenceMoves(const Board& position, Side side) {
  std::vector<Move> out;
  Board board = position;
  auto add = [&](int fr, int fc, int tr, int tc) {
    if (!inBounds(fr, fc) || !inBounds(tr, tc)) return;
    const Move m{fr, tr, fc, tc};
    if (!out.empty() && out.back() == m) return;
    out.push_back(m);
  };
  if (side != kWhite && side != kBlack) return out;
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 6; ++c) {
      if (board.at(r, c) != side) continue;
      const int32_t own = board.at(r, c);
      board.at(r, c) = 0;
      for (const CircuitTrack* t : {&smallTrackA, &smallTrackB, &largeTrackA, &largeTrackB}) {
        for (int i = 0; i < 24; ++i) {
          if (t->entries[i] != Square{r, c}) continue;
          bool loop = false;
          int k = i + 1;
          for (; k <= 47; ++k) {
            if (isLoopPassage(t->entries[k - 1], t->entries[k])) loop = true;
            if (board.at(t->entries[k].row, t->entries[k].col) != 0) break;
          }
          if (k <= 47 && loop && board.at(t->entries[k].row, t->entries[k].col) != own) {
            add(r, c, t->entries[k].row, t->entries[k].col);
          }
        }
      }
      board.at(r, c) = own;
    }
  }
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 6; ++c) {
      if (board.at(r, c) != side) continue;
      for (int d = 0; d < 8; ++d) {
        const int tr = r + stepDirections.dr[d];
        const int tc = c + stepDirections.dc[d];
        if (inBounds(tr, tc) && board.at(tr, tc) == 0) add(r, c, tr, tc);
      }
    }
  }
  return out;
}

TEST(MoveGenerator, InitialPositionBlackHasSixteenStepsInOrder) {
  const auto moves = listOf(test::initialBoard(), kBlack);
  ASSERT_EQ(moves.size(), 16u);
  EXPECT_EQ(std::vector<std::string>(moves.begin(), moves.begin() + 5),
            (std::vector<std::string>{"1021", "1020", "1122", "1121", "1120"}));
  EXPECT_EQ(moves[14], "1525");
  EXPECT_EQ(moves[15], "1524");
}

TEST(MoveGenerator, InitialPositionWhiteStartsWithRowFour) {
  const auto moves = listOf(test::initialBoard(), kWhite);
  ASSERT_EQ(moves.size(), 16u);
  EXPECT_EQ(moves[0], "4030");
  EXPECT_EQ(moves[1], "4031");
  EXPECT_EQ(moves[2], "4130");
  for (const std::string& m : moves) EXPECT_EQ(m[0], '4') << m;
}

TEST(MoveGenerator, RepeatedCaptureOfOnePieceIsStoredOnce) {
  // The capture comes from smallTrackA entry 16; smallTrackB finds it twice
  // more, directly after it, and those are dropped.
  const Board board = boardWith({{1, 1, kWhite}, {1, 3, kBlack}});
  EXPECT_EQ(listOf(board, kWhite),
            (std::vector<std::string>{"1113", "1122", "1121", "1120", "1110", "1100", "1101", "1102", "1112"}));
}

TEST(MoveGenerator, SameCaptureAfterAnotherCaptureIsStoredAgain) {
  const Board board = boardWith({{1, 1, kWhite}, {0, 1, kBlack}, {0, 4, kBlack}});
  EXPECT_EQ(listOf(board, kWhite),
            (std::vector<std::string>{"1104", "1101", "1104", "1122", "1121", "1120", "1110", "1100", "1102",
                                      "1112"}));
}

TEST(MoveGenerator, CaptureNeedsALoopAndAnEnemyFirst) {
  // (1,2) meets (1,4) before any loop, and its own side's (4,1) the other
  // way; (4,1) goes round through two loops and over its own square.
  const Board board = boardWith({{1, 2, kWhite}, {4, 1, kWhite}, {1, 4, kBlack}});
  EXPECT_EQ(listOf(board, kWhite),
            (std::vector<std::string>{"4114", "1223", "1222", "1221", "1211", "1201", "1202", "1203", "1213",
                                      "4152", "4151", "4150", "4140", "4130", "4131", "4132", "4142"}));
}

TEST(MoveGenerator, CornerPieceOnlySteps) {
  const Board board = boardWith({{0, 0, kBlack}, {1, 4, kWhite}, {4, 1, kWhite}, {2, 2, kWhite}});
  EXPECT_EQ(listOf(board, kBlack), (std::vector<std::string>{"0011", "0010", "0001"}));
}

TEST(MoveGenerator, LonePieceHasNoCapture) {
  for (int cell = 0; cell < kCellCount; ++cell) {
    Board board{};
    board.cells[cell] = kBlack;
    MoveList list;
    list.generateMoves(board, kBlack);
    for (int i = 0; i <= list.lastIndex; ++i) {
      EXPECT_EQ(board.at(list.moves[i].toRow, list.moves[i].toCol), kEmpty) << "cell " << cell;
    }
  }
}

TEST(MoveGenerator, OtherSideValuesGiveEmptyListButCopyTheBoard) {
  const Board board = test::initialBoard();
  MoveList list;
  list.lastIndex = 7;
  list.generateMoves(board, 0);
  EXPECT_EQ(list.lastIndex, -1);
  EXPECT_EQ(list.board, board);
  list.generateMoves(board, 3);
  EXPECT_EQ(list.lastIndex, -1);
}

TEST(MoveGenerator, AddMoveRefusesOffBoardAndRepeatOfLast) {
  MoveList list;
  list.lastIndex = -1;
  list.addMove(6, 0, 0, 0);
  list.addMove(0, 0, -1, 0);
  EXPECT_EQ(list.lastIndex, -1);
  list.addMove(1, 1, 2, 2);
  list.addMove(1, 1, 2, 2);
  EXPECT_EQ(list.lastIndex, 0);
  list.addMove(1, 1, 3, 3);
  list.addMove(1, 1, 2, 2);
  EXPECT_EQ(list.lastIndex, 2);
  EXPECT_EQ(list.moves[0], (Move{1, 2, 1, 2}));  // stored as fromRow, toRow, fromCol, toCol
}

TEST(MoveGenerator, LeavesCallerBoardAndRootDepthAlone) {
  const Board board = boardWith({{1, 1, kWhite}, {0, 1, kBlack}, {0, 4, kBlack}, {2, 2, kWhite}});
  const Board before = board;
  MoveList list;
  list.rootDepth = 42;
  list.generateMoves(board, kWhite);
  EXPECT_EQ(board, before);
  EXPECT_EQ(list.board, before);
  EXPECT_EQ(list.rootDepth, 42);
}

TEST(MoveGenerator, FastGeneratorMatchesLiteralRulesOnRandomGames) {
  MoveList list;
  for (const Board& board : test::randomGamePositions(7, 40)) {
    for (Side side : {kWhite, kBlack}) {
      list.generateMoves(board, side);
      const std::vector<Move> expected = referenceMoves(board, side);
      ASSERT_EQ(list.size(), static_cast<int>(expected.size())) << boardDigits(board) << " side " << side;
      for (int i = 0; i < list.size(); ++i) ASSERT_EQ(list.moves[i], expected[i]) << boardDigits(board);
      EXPECT_EQ(hasAnyMove(board, side), list.lastIndex >= 0) << boardDigits(board);
    }
  }
}

// Random boards of every density, from a lone piece to a full board, so
// that long walks, crossing points and capture-only positions all occur.
TEST(MoveGenerator, MaskGeneratorMatchesLiteralRulesOnRandomBoards) {
  std::mt19937 rng(11);
  int withoutStep = 0;
  for (int n = 0; n < 20000; ++n) {
    const Board board = test::randomBoard(rng, 1 + static_cast<int>(rng() % kCellCount));
    for (Side side : {kWhite, kBlack}) {
      CellMove found[kMaxMoves];
      const int count = generateCellMoves(occupancyOf(board), side, found);
      std::vector<Move> expected = referenceMoves(board, side);
      ASSERT_EQ(hasAnyCellMove(occupancyOf(board), side), !expected.empty()) << boardDigits(board);
      if (expected.size() > static_cast<size_t>(kMaxMoves)) expected.resize(kMaxMoves);
      ASSERT_EQ(count, static_cast<int>(expected.size())) << boardDigits(board) << " side " << side;
      for (int i = 0; i < count; ++i) ASSERT_EQ(toMove(found[i]), expected[i]) << boardDigits(board);
      CellMask taken = 0;
      for (const Move& m : expected) {
        if (board.at(m.toRow, m.toCol) != kEmpty) taken |= cellBit(m.toRow * kBoardSize + m.toCol);
      }
      ASSERT_EQ(CellMoveCursor(occupancyOf(board), side).captureTargets(), taken) << boardDigits(board);
      bool steps = false;
      for (const Move& m : expected) steps = steps || board.at(m.toRow, m.toCol) == kEmpty;
      withoutStep += steps || expected.empty() ? 0 : 1;
    }
  }
  EXPECT_GT(withoutStep, 20);
}

TEST(MoveGenerator, HasAnyMoveSeesCaptureOnlyPositions) {
  // White is boxed in on (0,0) by black pieces and has no step; its only move
  // would be a capture, and a corner square is on no circuit.
  Board boxed = boardWith({{0, 0, kWhite}, {0, 1, kBlack}, {1, 0, kBlack}, {1, 1, kBlack}});
  EXPECT_FALSE(hasAnyMove(boxed, kWhite));
  // Boxed on (0,1) instead, white takes along the small circuit.
  Board capture = boardWith({{0, 1, kWhite}, {0, 0, kBlack}, {0, 2, kBlack}, {1, 0, kBlack},
                             {1, 1, kBlack}, {1, 2, kBlack}});
  MoveList list;
  list.generateMoves(capture, kWhite);
  ASSERT_GE(list.lastIndex, 0);
  EXPECT_TRUE(hasAnyMove(capture, kWhite));
  EXPECT_FALSE(hasAnyMove(capture, 0));
}

TEST(Perft, CountsEachDuplicateCaptureOnce) {
  Board board = boardWith({{1, 1, kWhite}, {0, 1, kBlack}, {0, 4, kBlack}});
  EXPECT_EQ(perft(board, kWhite, 1), 9u);  // ten listed, 1104 twice
  EXPECT_EQ(perft(board, kWhite, 0), 1u);
}

TEST(Perft, SumsChildrenAndRestoresTheBoard) {
  Board board = test::initialBoard();
  const Board before = board;
  EXPECT_EQ(perft(board, kBlack, 1), 16u);
  EXPECT_EQ(perft(board, kBlack, 2), 256u);  // no capture is possible in two plies
  EXPECT_EQ(board, before);
}

TEST(Perft, SideWithoutMovesContributesNothing) {
  Board board = boardWith({{0, 0, kBlack}});
  EXPECT_EQ(perft(board, kWhite, 1), 0u);
  EXPECT_EQ(perft(board, kBlack, 2), 0u);  // black steps, then white has nothing
}

}  // namespace
}  // namespace tovrane
