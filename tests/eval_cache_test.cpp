#include "search/eval_cache.h"

#include <gtest/gtest.h>

#include <memory>

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

}  // namespace
}  // namespace tovrane
