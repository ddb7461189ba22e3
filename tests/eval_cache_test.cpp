#include "search/eval_cache.h"

#include <gtest/gtest.h>

#include <memory>

#include "search/search_engine.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

using test::boardWith;

TEST(EvalCache, StoresAndFindsWithinASearch) {
  auto cache = std::make_unique<EvalCache>();
  cache->clear();
  const Board a = boardWith({{0, 0, kWhite}, {3, 2, kBlack}});
  int32_t score = 77;
  EXPECT_FALSE(cache->lookup(a, score));
  EXPECT_EQ(score, 77);  // untouched on a miss
  cache->insert(a, -310);
  EXPECT_TRUE(cache->lookup(a, score));
  EXPECT_EQ(score, -310);
  EXPECT_EQ(cache->entryCount(), 1u);
}

TEST(EvalCache, ReleaseAllForgetsEverything) {
  auto cache = std::make_unique<EvalCache>();
  int32_t score = 0;
  for (int cell = 0; cell < kCellCount; ++cell) {
    Board board{};
    board.cells[cell] = kBlack;
    ASSERT_FALSE(cache->lookup(board, score));
    cache->insert(board, cell);
  }
  cache->releaseAll();
  EXPECT_EQ(cache->entryCount(), 0u);
  for (int cell = 0; cell < kCellCount; ++cell) {
    Board board{};
    board.cells[cell] = kBlack;
    EXPECT_FALSE(cache->lookup(board, score)) << cell;
  }
}

TEST(EvalCache, FullTableSkipsInsertsButKeepsWhatItHas) {
  auto cache = std::make_unique<EvalCache>();
  cache->limitEntries(2);
  int32_t score = 0;
  const Board boards[3] = {boardWith({{0, 0, kWhite}}), boardWith({{0, 1, kWhite}}), boardWith({{0, 2, kWhite}})};
  for (int i = 0; i < 3; ++i) {
    ASSERT_FALSE(cache->lookup(boards[i], score));
    cache->insert(boards[i], 100 + i);
  }
  EXPECT_EQ(cache->entryCount(), 2u);
  EXPECT_TRUE(cache->lookup(boards[0], score));
  EXPECT_EQ(score, 100);
  EXPECT_TRUE(cache->lookup(boards[1], score));
  EXPECT_EQ(score, 101);
  EXPECT_FALSE(cache->lookup(boards[2], score));
}

// The i-th of 3^10 distinct Boards: i in base 3 over the first ten cells.
Board numberedBoard(int i) {
  Board board{};
  for (int cell = 0; cell < 10; ++cell, i /= 3) board.cells[cell] = i % 3;
  return board;
}

TEST(EvalCache, TellsManyBoardsApartWhileGrowingAndForgetsThemAll) {
  // Enough boards to double the table several times, with boards that
  // differ only in the white cells packed apart from the rest; then a new
  // search finds none of them, and the next round the same again.
  auto cache = std::make_unique<EvalCache>();
  constexpr int kCount = 200000;
  auto boardNumber = [](int i) {
    Board board = numberedBoard(i % 59049);  // 3^10 boards over cells 0..9 ...
    board.cells[28 + i / 59049] = kWhite;    // ... times a white piece on 28..31
    return board;
  };
  int32_t score = 0;
  for (int round = 0; round < 2; ++round) {
    cache->clear();
    for (int i = 0; i < kCount; ++i) {
      ASSERT_FALSE(cache->lookup(boardNumber(i), score)) << "round " << round << " board " << i;
      cache->insert(boardNumber(i), i);
    }
    for (int i = 0; i < kCount; i += 7) {
      ASSERT_TRUE(cache->lookup(boardNumber(i), score)) << i;
      ASSERT_EQ(score, i);
    }
    cache->releaseAll();
  }
  EXPECT_EQ(cache->peakEntries(), static_cast<size_t>(kCount));
  EXPECT_GE(cache->slotCount(), 2u * kCount);
  EXPECT_LE(cache->slotCount(), 4u * kCount);
}

TEST(EvalCacheCeiling, SearchThatWouldPassItStaysWithinAndAgrees) {
  // Depth 5 from the start stores thousands of leaves; with room for 1000 the
  // cache holds no more, keeps its starting table, and the search only
  // evaluates more leaves again, with the same move and score.
  SearchEngine roomy(kStandardEngine, nullptr);
  SearchEngine capped(kStandardEngine, nullptr);
  capped.cache()->limitEntries(1000);
  Board board = test::initialBoard();
  Move roomyMove{}, cappedMove{};
  bool roomyMoved = false, cappedMoved = false;
  const int32_t roomyScore = roomy.searchAtDepth(board, kBlack, 5, roomyMove, roomyMoved);
  const int32_t cappedScore = capped.searchAtDepth(board, kBlack, 5, cappedMove, cappedMoved);
  ASSERT_GT(roomy.cache()->peakEntries(), 2000u);  // the search would pass the lowered ceiling
  EXPECT_EQ(capped.cache()->peakEntries(), 1000u);
  EXPECT_LE(capped.cache()->reservedBytes(),
            sizeof(EvalCache) + EvalCache::kInitialSlots * sizeof(EvalCacheEntry));
  EXPECT_GT(capped.leafEvaluations(), roomy.leafEvaluations());
  EXPECT_EQ(cappedScore, roomyScore);
  EXPECT_EQ(cappedMove, roomyMove);
  EXPECT_TRUE(cappedMoved);
  EXPECT_EQ(board, test::initialBoard());
}

}  // namespace
}  // namespace tovrane
