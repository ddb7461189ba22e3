#include "game/board.h"

#include <gtest/gtest.h>

#include "tests/test_util.h"

namespace tovrane {
namespace {

TEST(Board, ResetPutsBlackOnRowsZeroAndOneWhiteOnFourAndFive) {
  Board board{};
  board.cells[17] = kBlack;  // leftovers must be cleared
  resetBoard(board);
  for (int i = 0; i < kCellCount; ++i) {
    const int32_t expected = i < 12 ? kBlack : (i < 24 ? kEmpty : kWhite);
    EXPECT_EQ(board.cells[i], expected) << "cell " << i;
  }
  EXPECT_EQ(countPieces(board, kBlack), 12);
  EXPECT_EQ(countPieces(board, kWhite), 12);
}

TEST(Board, ApplyMoveWritesDestinationThenEmptiesSource) {
  Board board = test::boardWith({{3, 1, kWhite}, {2, 2, kBlack}});
  applyMove(board, test::mv("3122"));  // capture
  EXPECT_EQ(board.at(2, 2), kWhite);
  EXPECT_EQ(board.at(3, 1), kEmpty);
  EXPECT_EQ(countPieces(board), 1);

  applyMove(board, test::mv("4040"));  // from an empty square wipes the target
  board.at(4, 0) = kBlack;
  applyMove(board, test::mv("0040"));
  EXPECT_EQ(board.at(4, 0), kEmpty);

  board.at(5, 5) = kBlack;  // source and destination the same: the piece is gone
  applyMove(board, test::mv("5555"));
  EXPECT_EQ(board.at(5, 5), kEmpty);
}

TEST(Board, InBoundsAcceptsOnlyZeroToFive) {
  EXPECT_TRUE(inBounds(5, 5));
  EXPECT_TRUE(inBounds(0, 0));
  EXPECT_FALSE(inBounds(6, 0));
  EXPECT_FALSE(inBounds(0, -1));
  EXPECT_FALSE(inBounds(-1, 3));
  EXPECT_FALSE(inBounds(2, 6));
}

TEST(Board, MoveTextAlternatesRowsAndColumns) {
  const Move m = readMoveText("1222");
  EXPECT_EQ(m.fromRow, 1);
  EXPECT_EQ(m.fromCol, 2);
  EXPECT_EQ(m.toRow, 2);
  EXPECT_EQ(m.toCol, 2);
  EXPECT_EQ(moveText(m), "1222");
  EXPECT_EQ(moveText(Move{4, 3, 1, 1}), "4131");
}

TEST(Board, OnBoardMoveTextNeedsFourDigitsZeroToFive) {
  EXPECT_TRUE(isOnBoardMoveText("0055"));
  EXPECT_TRUE(isOnBoardMoveText("123456"));  // only the first four count
  EXPECT_FALSE(isOnBoardMoveText("123"));
  EXPECT_FALSE(isOnBoardMoveText("1262"));
  EXPECT_FALSE(isOnBoardMoveText("12/2"));
  EXPECT_FALSE(isOnBoardMoveText("a222"));
}

TEST(Board, DigitFormRoundTripsAndRejectsOtherCharacters) {
  const Board initial = test::initialBoard();
  const std::string digits = boardDigits(initial);
  EXPECT_EQ(digits, "222222222222000000000000111111111111");
  Board parsed{};
  ASSERT_TRUE(parseBoardDigits(digits, parsed));
  EXPECT_EQ(parsed, initial);
  EXPECT_FALSE(parseBoardDigits(digits.substr(1), parsed));
  std::string bad = digits;
  bad[0] = '3';
  EXPECT_FALSE(parseBoardDigits(bad, parsed));
  EXPECT_EQ(parsed, initial);  // untouched on failure
}

}  // namespace
}  // namespace tovrane
