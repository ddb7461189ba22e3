// The search's incremental position against one worked out afresh from the
// board, along random games played forward and taken back.

#include "search/pro_position.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/net_test_util.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

void expectSameAsRecomputed(const ProPosition& pos, const Board& board, Side side) {
  ProPosition fresh;
  fresh.set(board, side);
  ASSERT_EQ(pos.occ, fresh.occ) << boardDigits(board);
  ASSERT_EQ(pos.rings, fresh.rings) << boardDigits(board);
  ASSERT_EQ(pos.side, fresh.side);
  ASSERT_EQ(pos.key, fresh.key) << boardDigits(board);
  // The network's accumulators, updated move by move, as computed afresh.
  NetAccumulator expected;
  netRefresh(*pos.net->net, fresh.occ, expected);
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < pos.net->net->hidden; ++i) {
      ASSERT_EQ(pos.net->acc[pos.net->top].sums[p][i], expected.sums[p][i]) << boardDigits(board);
    }
  }
}

// The network's accumulators included: make and unmake keep one per ply.
TEST(ProPosition, MakeAndUnmakeKeepWhatARecomputationGives) {
  std::mt19937 rng(31);
  static NetWeights net;
  test::randomNet(rng, 48, net);
  static NetStack stack;
  stack.use(net);
  for (int game = 0; game < 60; ++game) {
    Board board = test::initialBoard();
    Side side = kBlack;
    ProPosition pos;
    pos.net = &stack;
    pos.set(board, side);
    struct Played { CellMove move; bool capture; Board before; };
    std::vector<Played> line;
    for (int ply = 0; ply < 150; ++ply) {
      CellMove moves[kMaxMoves];
      const int count = generateCellMoves(pos.occ, pos.side, moves);
      if (count == 0) break;
      // Captures often, so the games thin out; now and then a null move.
      const CellMove m = moves[rng() % 2 == 0 ? 0 : rng() % static_cast<unsigned>(count)];
      if (rng() % 16 == 0) {
        pos.pass();
        side = opponent(side);
        expectSameAsRecomputed(pos, board, side);
        pos.pass();
        side = opponent(side);
      }
      ASSERT_EQ(pos.isCapture(m), board.cells[m.to] != kEmpty);
      line.push_back({m, false, board});
      line.back().capture = pos.make(m);
      applyMove(board, toMove(m));
      side = opponent(side);
      expectSameAsRecomputed(pos, board, side);
      // Now and then take back a few plies and play on from there.
      if (rng() % 8 == 0) {
        for (int back = static_cast<int>(rng() % 4); back > 0 && !line.empty(); --back) {
          pos.unmake(line.back().move, line.back().capture);
          board = line.back().before;
          side = opponent(side);
          line.pop_back();
          expectSameAsRecomputed(pos, board, side);
        }
      }
    }
    while (!line.empty()) {
      pos.unmake(line.back().move, line.back().capture);
      board = line.back().before;
      side = opponent(side);
      line.pop_back();
    }
    expectSameAsRecomputed(pos, test::initialBoard(), kBlack);
  }
}

}  // namespace
}  // namespace tovrane
