#include "search/eval_cache.h"

#include <gtest/gtest.h>

#include <memory>

#include "search/search_engine.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

using test::boardWith;

TEST(EvalCacheKey, ColumnPairsAreBaseThreeNumbers) {
  EXPECT_EQ(boardKey(boardWith({{0, 1, kWhite}})).key0, 1);
  EXPECT_EQ(boardKey(boardWith({{1, 1, kWhite}})).key0, 3);
  EXPECT_EQ(boardKey(boardWith({{0, 0, kWhite}})).key0, 729);
  EXPECT_EQ(boardKey(boardWith({{0, 1, kBlack}})).key0, 2);
  EXPECT_EQ(boardKey(boardWith({{5, 0, kBlack}})).key0, 354294);  // 2 * 3^11
  EXPECT_EQ(boardKey(boardWith({{0, 3, kWhite}})).key1, 1);
  EXPECT_EQ(boardKey(boardWith({{0, 3, kWhite}})).key0, 0);
  EXPECT_EQ(boardKey(boardWith({{1, 4, kBlack}})).key2, 4374);  // 2 * 3^7
  const BoardKey empty = boardKey(Board{});
  EXPECT_EQ(empty, (BoardKey{0, 0, 0}));
  EXPECT_EQ(bucketOf(empty), 0);
}

TEST(EvalCacheKey, FullBoardStaysBelowTwoToTheTwenty) {
  Board full{};
  for (int32_t& cell : full.cells) cell = kBlack;
  const BoardKey key = boardKey(full);
  EXPECT_EQ(key.key0, 531440);  // 3^12 - 1
  EXPECT_LT(bucketOf(key), EvalCache::kBucketCount);
  EXPECT_GE(bucketOf(key), 0);
}

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

TEST(EvalCache, BoardsSharingABucketAreToldApart) {
  // Exchanging the column pair (0,1) with (2,3) swaps key0 and key1: same bucket.
  auto cache = std::make_unique<EvalCache>();
  const Board a = boardWith({{1, 0, kWhite}, {4, 3, kBlack}});
  const Board b = boardWith({{1, 2, kWhite}, {4, 1, kBlack}});
  ASSERT_EQ(bucketOf(boardKey(a)), bucketOf(boardKey(b)));
  ASSERT_NE(boardKey(a), boardKey(b));
  int32_t score = 0;
  ASSERT_FALSE(cache->lookup(a, score));
  cache->insert(a, 11);
  ASSERT_FALSE(cache->lookup(b, score));
  cache->insert(b, 22);
  ASSERT_TRUE(cache->lookup(a, score));
  EXPECT_EQ(score, 11);
  ASSERT_TRUE(cache->lookup(b, score));
  EXPECT_EQ(score, 22);
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

TEST(EvalCache, FullArenaSkipsInsertsButKeepsWhatItHas) {
  auto cache = std::make_unique<EvalCache>();
  cache->limitEntries(3);  // index 0 is reserved, so two entries fit
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

// The i-th of 3^11 distinct Boards: i in base 3 over the first eleven cells.
Board numberedBoard(int i) {
  Board board{};
  for (int cell = 0; cell < 11; ++cell, i /= 3) board.cells[cell] = i % 3;
  return board;
}

TEST(EvalCache, ReleaseAllForgetsManyEntriesToo) {
  // Past a sixteenth of the bucket count, releaseAll clears every head
  // rather than those of the entries; both ways must forget everything.
  auto cache = std::make_unique<EvalCache>();
  constexpr int kCount = EvalCache::kBucketCount / 16 + 1000;
  int32_t score = 0;
  for (int round = 0; round < 2; ++round) {
    cache->clear();
    for (int i = 0; i < kCount; ++i) {
      ASSERT_FALSE(cache->lookup(numberedBoard(i), score)) << "round " << round << " board " << i;
      cache->insert(numberedBoard(i), i);
    }
    ASSERT_TRUE(cache->lookup(numberedBoard(kCount - 1), score));
    EXPECT_EQ(score, kCount - 1);
    cache->releaseAll();
  }
  EXPECT_EQ(cache->peakEntries(), static_cast<size_t>(kCount));
}

TEST(EvalCacheCeiling, SearchThatWouldPassItStaysWithinAndAgrees) {
  // Depth 5 from the start stores thousands of leaves; with room for 999 the
  // cache holds no more, reserves a single arena block, and the search only
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
  EXPECT_EQ(capped.cache()->peakEntries(), 999u);
  EXPECT_LE(capped.cache()->reservedBytes(),
            sizeof(EvalCache) + EvalCache::kEntriesPerBlock * sizeof(EvalCacheEntry));
  EXPECT_GT(capped.leafEvaluations(), roomy.leafEvaluations());
  EXPECT_EQ(cappedScore, roomyScore);
  EXPECT_EQ(cappedMove, roomyMove);
  EXPECT_TRUE(cappedMoved);
  EXPECT_EQ(board, test::initialBoard());
}

}  // namespace
}  // namespace tovrane
