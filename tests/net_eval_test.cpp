// The network evaluation against a plain reference written from its
// definition, each vector path against the plain one, the colour mirror,
// and the network file's checks.

#include "eval/net_eval.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <vector>

#include "game/board_symmetry.h"
#include "rules/mask_move_generator.h"
#include "tests/net_test_util.h"
#include "tests/temp_dir.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

// The score by the definition: for each side, 72 inputs from its own view
// (white's rows counted from row 5), the first layer, clipping, the output.
int32_t referenceScore(const NetWeights& net, const Board& board, Side side) {
  int64_t hiddenSum[2][kNetMaxHidden];
  for (int v = 0; v < 2; ++v) {
    const Side viewer = v == 0 ? side : opponent(side);
    for (int i = 0; i < net.hidden; ++i) {
      int64_t sum = net.inputBias[i];
      for (int row = 0; row < kBoardSize; ++row) {
        for (int col = 0; col < kBoardSize; ++col) {
          const int piece = board.at(row, col);
          if (piece == kEmpty) continue;
          const int seenRow = viewer == kBlack ? row : kBoardSize - 1 - row;
          const int input = (piece == viewer ? 0 : kCellCount) + seenRow * kBoardSize + col;
          sum += net.input[input][i];
        }
      }
      hiddenSum[v][i] = std::clamp<int64_t>(sum, 0, kNetActivationOne);
    }
  }
  int64_t out = net.outputBias;
  for (int i = 0; i < net.hidden; ++i) {
    out += hiddenSum[0][i] * net.output[i] + hiddenSum[1][i] * net.output[net.hidden + i];
  }
  return static_cast<int32_t>(out / (kNetActivationOne * kNetOutputOne));
}

std::vector<const NetKernels*> allKernels() {
  std::vector<const NetKernels*> kernels{&netPlainKernels()};
  for (const NetKernels* k : {netSse2Kernels(), netAvx2Kernels()}) {
    if (k != nullptr) kernels.push_back(k);
  }
  return kernels;
}

// Random games, one accumulator per kernel set carried along move by move:
// every one gives the reference's score for both sides at every ply.
TEST(NetEval, IncrementalScoresOfEveryKernelEqualThePlainReference) {
  std::mt19937 rng(5);
  static NetWeights net;
  int clippedHigh = 0;
  for (int hidden : {16, 32, 64}) {
    test::randomNet(rng, hidden, net);
    const std::vector<const NetKernels*> kernels = allKernels();
    for (int game = 0; game < 40; ++game) {
      Board board = test::initialBoard();
      Side side = kBlack;
      std::vector<NetAccumulator> acc(kernels.size());
      for (NetAccumulator& a : acc) netRefresh(net, occupancyOf(board), a);
      for (int ply = 0; ply < 120; ++ply) {
        for (Side s : {kBlack, kWhite}) {
          const int32_t expected = referenceScore(net, board, s);
          ASSERT_EQ(netEvaluate(net, occupancyOf(board), s), expected) << boardDigits(board);
          for (size_t k = 0; k < kernels.size(); ++k) {
            ASSERT_EQ(netScore(net, *kernels[k], acc[k], s), expected) << kernels[k]->name << " " << boardDigits(board);
          }
        }
        clippedHigh += acc[0].sums[0][0] > kNetActivationOne ? 1 : 0;
        CellMove moves[kMaxMoves];
        const int count = generateCellMoves(occupancyOf(board), side, moves);
        if (count == 0) break;
        const CellMove m = moves[rng() % 2 == 0 ? 0 : rng() % static_cast<unsigned>(count)];
        const bool capture = board.cells[m.to] != kEmpty;
        for (size_t k = 0; k < kernels.size(); ++k) {
          const NetAccumulator before = acc[k];
          netAfterMove(net, *kernels[k], before, acc[k], side, m.from, m.to, capture);
        }
        applyMove(board, toMove(m));
        side = opponent(side);
      }
    }
  }
  EXPECT_GT(clippedHigh, 100);
}

// White's view is black's mirrored top to bottom: a position and its mirror
// with the colours swapped score the same for the mirrored side to move.
TEST(NetEval, ColourMirrorScoresTheSame) {
  std::mt19937 rng(9);
  static NetWeights net;
  test::randomNet(rng, 32, net);
  for (int n = 0; n < 2000; ++n) {
    const Board board = test::randomBoard(rng, 2 + static_cast<int>(rng() % 22));
    Board mirror = symmetricBoard(board, kFlipRowsSymmetry);
    for (int32_t& cell : mirror.cells) cell = cell == kEmpty ? kEmpty : opponent(cell);
    for (Side s : {kBlack, kWhite}) {
      ASSERT_EQ(netEvaluate(net, occupancyOf(board), s), netEvaluate(net, occupancyOf(mirror), opponent(s)))
          << boardDigits(board);
    }
  }
}

TEST(NetEval, FileIsReadBackOrRefusedWithAReason) {
  std::mt19937 rng(13);
  static NetWeights net;
  static NetWeights loaded;
  test::randomNet(rng, 48, net);
  const std::string bytes = test::netFileBytesOf(net);
  ASSERT_EQ(bytes.size(), netFileBytes(48));
  test::TempDir dir;
  const auto write = [&dir](const std::string& name, const std::string& content) {
    const std::string path = (dir.path() / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  };
  std::string error;
  ASSERT_TRUE(loadNetFile(write("good.tvnn", bytes), loaded, error)) << error;
  const Board board = test::randomBoard(rng, 20);
  EXPECT_EQ(netEvaluate(loaded, occupancyOf(board), kWhite), netEvaluate(net, occupancyOf(board), kWhite));

  EXPECT_FALSE(loadNetFile((dir.path() / "missing.tvnn").string(), loaded, error));
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
  EXPECT_FALSE(loadNetFile(write("short.tvnn", bytes.substr(0, bytes.size() - 3)), loaded, error));
  EXPECT_NE(error.find("bytes"), std::string::npos) << error;
  EXPECT_FALSE(loadNetFile(write("header.tvnn", bytes.substr(0, 10)), loaded, error));
  EXPECT_NE(error.find("too short"), std::string::npos) << error;
  std::string shape = bytes;
  shape[12] = 20;  // 20 hidden units: no multiple of 16
  EXPECT_FALSE(loadNetFile(write("shape.tvnn", shape), loaded, error));
  EXPECT_NE(error.find("shape"), std::string::npos) << error;
  std::string magic = bytes;
  magic[0] = 'X';
  EXPECT_FALSE(loadNetFile(write("magic.tvnn", magic), loaded, error));
  EXPECT_NE(error.find("magic"), std::string::npos) << error;
  EXPECT_NE(error.find("magic.tvnn"), std::string::npos) << error;

  // The network built into the programs is a valid one.
  EXPECT_GT(defaultNet().hidden, 0);
}

}  // namespace
}  // namespace tovrane
