// engine-pro's bit-mask evaluation against a plain one that reads the
// board cell by cell and walks each ring entry by entry.

#include "eval/pro_eval.h"

#include <gtest/gtest.h>

#include "rules/circuits.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

bool onSmallLine(int row, int col) { return row == 1 || row == 4 || col == 1 || col == 4; }
bool onLargeLine(int row, int col) { return row == 2 || row == 3 || col == 2 || col == 3; }

ProFeatures plainFeatures(const Board& board, Side side) {
  int pieces[3] = {}, crossing[3] = {}, shared[3] = {}, corner[3] = {}, mobility[3] = {}, crowding[3] = {};
  for (int row = 0; row < kBoardSize; ++row) {
    for (int col = 0; col < kBoardSize; ++col) {
      const int32_t colour = board.at(row, col);
      if (colour == kEmpty) continue;
      ++pieces[colour];
      const bool small = onSmallLine(row, col), large = onLargeLine(row, col);
      const bool cross = ((row == 1 || row == 4) && (col == 1 || col == 4)) ||
                         ((row == 2 || row == 3) && (col == 2 || col == 3));
      if (!small && !large) ++corner[colour];
      else if (cross) ++crossing[colour];
      else if (small && large) ++shared[colour];
      for (int d = 0; d < kDirectionCount; ++d) {
        const int r = row + stepDirections.dr[d], c = col + stepDirections.dc[d];
        if (!inBounds(r, c)) continue;
        mobility[colour] += board.at(r, c) == kEmpty;
        crowding[colour] += board.at(r, c) == colour;
      }
    }
  }
  // Every pair of consecutive occupied entries of a ring with a loop
  // between them (entries 0, 6, 12, 18 are where loops lead).
  uint64_t attacked[3] = {}, guarded[3] = {};
  int loopAccess[3] = {};
  for (const CircuitRing* ring : {&smallRing, &largeRing}) {
    std::vector<int> occupied;
    for (int k = 0; k < kLapLength; ++k) {
      if (board.at(ring->rows[k], ring->cols[k]) != kEmpty) occupied.push_back(k);
    }
    if (occupied.size() < 2) continue;
    for (size_t i = 0; i < occupied.size(); ++i) {
      const int a = occupied[i];
      const int b = i + 1 < occupied.size() ? occupied[i + 1] : occupied[0] + kLapLength;
      int loops = 0;
      for (int k = a + 1; k <= b; ++k) loops += k % 6 == 0;
      const int cellA = ring->rows[a] * kBoardSize + ring->cols[a];
      const int cellB = ring->rows[b % kLapLength] * kBoardSize + ring->cols[b % kLapLength];
      if (loops == 0 || cellA == cellB) continue;
      const int32_t ca = board.cells[cellA], cb = board.cells[cellB];
      loopAccess[ca] += loops;
      loopAccess[cb] += loops;
      if (ca != cb) {
        attacked[ca] |= uint64_t{1} << cellA;
        attacked[cb] |= uint64_t{1} << cellB;
      } else {
        guarded[ca] |= (uint64_t{1} << cellA) | (uint64_t{1} << cellB);
      }
    }
  }
  const Side us = side, them = opponent(side);
  auto count = [](uint64_t bits) { return static_cast<int32_t>(std::popcount(bits)); };
  ProFeatures f{};
  f[kFeatMaterial] = pieces[us] - pieces[them];
  f[kFeatCrossing] = crossing[us] - crossing[them];
  f[kFeatShared] = shared[us] - shared[them];
  f[kFeatCorner] = corner[us] - corner[them];
  f[kFeatMobility] = mobility[us] - mobility[them];
  f[kFeatTargets] = count(attacked[them]);
  f[kFeatThreats] = count(attacked[us]);
  f[kFeatLooseOurs] = count(attacked[us] & ~guarded[us]);
  f[kFeatLooseTheirs] = count(attacked[them] & ~guarded[them]);
  f[kFeatGuarded] = count(guarded[us]) - count(guarded[them]);
  f[kFeatLoopAccess] = loopAccess[us] - loopAccess[them];
  f[kFeatCrowding] = crowding[us] - crowding[them];
  f[kFeatEndgameMaterial] = f[kFeatMaterial] * (24 - pieces[us] - pieces[them]) / 4;
  f[kFeatTempo] = 1;
  return f;
}

TEST(ProEval, MaskFeaturesEqualAPlainReadingOfTheBoard) {
  std::mt19937 rng(20);
  std::vector<Board> boards = test::randomGamePositions(21, 30);
  for (int i = 0; i < 3000; ++i) boards.push_back(test::randomBoard(rng, static_cast<int>(rng() % 25)));
  for (const Board& board : boards) {
    for (Side side : {kWhite, kBlack}) {
      const ProFeatures plain = plainFeatures(board, side);
      ASSERT_EQ(proFeatures(board, side), plain) << boardDigits(board) << " side " << side;
      // The score mixes the two weight rows by the pieces on the board.
      int32_t total = 0;
      const int phase = countPieces(board);
      for (int k = 0; k < kProFeatureCount; ++k) {
        total += plain[k] * (kProWeights.opening[k] * phase + kProWeights.endgame[k] * (24 - phase));
      }
      ASSERT_EQ(proEvaluate(board, side), total / 24) << boardDigits(board);
    }
  }
}

}  // namespace
}  // namespace tovrane
