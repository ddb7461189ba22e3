#include "game/board_symmetry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <tuple>

#include "rules/move_generator.h"
#include "test_util.h"

namespace tovrane {
namespace {

using MoveKey = std::tuple<int, int, int, int>;

std::set<MoveKey> moveSet(const Board& board, Side side, int symmetry) {
  MoveList list;
  list.generateMoves(board, side);
  std::set<MoveKey> moves;
  for (int i = 0; i < list.size(); ++i) {
    const Move m = symmetricMove(list.moves[i], symmetry);
    moves.insert({m.fromRow, m.fromCol, m.toRow, m.toCol});
  }
  return moves;
}

// Every symmetry is a permutation of the cells, and the eight are distinct.
TEST(BoardSymmetry, EightDistinctPermutations) {
  std::set<std::vector<int>> images;
  for (int s = 0; s < kSymmetryCount; ++s) {
    std::vector<int> image;
    for (int cell = 0; cell < kCellCount; ++cell) image.push_back(symmetricCell(s, cell));
    std::vector<int> sorted = image;
    std::sort(sorted.begin(), sorted.end());
    for (int cell = 0; cell < kCellCount; ++cell) ASSERT_EQ(sorted[cell], cell) << "symmetry " << s;
    images.insert(image);
  }
  EXPECT_EQ(images.size(), static_cast<size_t>(kSymmetryCount));
  EXPECT_EQ(symmetricCell(kFlipRowsSymmetry, 0 * kBoardSize + 2), 5 * kBoardSize + 2);
}

// The claim the training data relies on: the image of a position under any
// of the eight symmetries has exactly the images of its moves, captures
// along the circuits included. Random games and random boards of every
// density, both sides to move.
TEST(BoardSymmetry, AllEightMapLegalMovesOntoEachOther) {
  std::vector<Board> boards = test::randomGamePositions(5, 30);
  std::mt19937 rng(17);
  for (int n = 0; n < 3000; ++n) boards.push_back(test::randomBoard(rng, 1 + static_cast<int>(rng() % kCellCount)));
  int captures = 0;
  for (const Board& board : boards) {
    for (Side side : {kBlack, kWhite}) {
      for (int s = 0; s < kSymmetryCount; ++s) {
        const Board image = symmetricBoard(board, s);
        ASSERT_EQ(moveSet(board, side, s), moveSet(image, side, kIdentitySymmetry))
            << boardDigits(board) << " side " << side << " symmetry " << s;
      }
      for (const MoveKey& m : moveSet(board, side, kIdentitySymmetry)) {
        captures += board.at(std::get<2>(m), std::get<3>(m)) != kEmpty ? 1 : 0;
      }
    }
  }
  EXPECT_GT(captures, 1000);
}

}  // namespace
}  // namespace tovrane
