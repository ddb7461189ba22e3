#include "serve/capture_path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <utility>

#include "rules/move_generator.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

// Over positions from random games, a path exists exactly for the captures
// the move generator lists, and every path is a real capture walk: it starts
// on the mover, steps along lines or through loops (at least one loop),
// passes only empty squares (or the mover's own) and ends on the enemy taken.
TEST(CapturePath, ExistsExactlyForTheGeneratorsCapturesAndIsAWalk) {
  int captures = 0;
  for (const Board& board : test::randomGamePositions(41, 40)) {
    for (Side side : {kBlack, kWhite}) {
      MoveList list{};
      list.generateMoves(board, side);
      std::set<std::pair<int, int>> listed;
      for (int i = 0; i < list.size(); ++i) {
        const Move& m = list.moves[i];
        if (board.at(m.toRow, m.toCol) != kEmpty) listed.insert({m.fromRow * 6 + m.fromCol, m.toRow * 6 + m.toCol});
      }
      std::set<std::pair<int, int>> found;
      for (int from = 0; from < kCellCount; ++from) {
        for (int to = 0; to < kCellCount; ++to) {
          const Move m{from / 6, to / 6, from % 6, to % 6};
          const std::vector<Square> path = capturePath(board, m);
          if (path.empty()) continue;
          found.insert({from, to});
          EXPECT_EQ(path.front(), (Square{m.fromRow, m.fromCol}));
          EXPECT_EQ(path.back(), (Square{m.toRow, m.toCol}));
          bool looped = false;
          for (size_t k = 1; k < path.size(); ++k) {
            const Square a = path[k - 1];
            const Square b = path[k];
            const int dr = std::abs(a.row - b.row);
            const int dc = std::abs(a.col - b.col);
            if (isLoopPassage(a, b)) {
              looped = true;
            } else {
              EXPECT_EQ(dr + dc, 1) << moveText(m);
            }
            if (k + 1 < path.size() && !(b == path.front())) {
              EXPECT_EQ(board.at(b.row, b.col), kEmpty) << moveText(m);
            }
          }
          EXPECT_TRUE(looped) << moveText(m);
        }
      }
      // Paths are found for either side's pieces; compare this side's only.
      std::set<std::pair<int, int>> mine;
      for (const auto& p : found) {
        if (board.cells[p.first] == side) mine.insert(p);
      }
      EXPECT_EQ(mine, listed);
      captures += static_cast<int>(listed.size());
    }
  }
  EXPECT_GT(captures, 200);  // the positions do hold captures to compare
}

}  // namespace
}  // namespace tovrane
