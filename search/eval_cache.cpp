#include "search/eval_cache.h"

#include <cstring>
#include <new>

namespace tovrane {

BoardKey boardKey(const Board& board) {
  int32_t keys[3];
  for (int p = 0; p < 3; ++p) {
    int32_t value = 0;
    for (int col = 2 * p; col <= 2 * p + 1; ++col) {
      for (int row = kBoardSize - 1; row >= 0; --row) value = value * 3 + board.at(row, col);
    }
    keys[p] = value;
  }
  return {keys[0], keys[1], keys[2]};
}

EvalCache::EvalCache() { std::memset(heads_, 0, sizeof(heads_)); }

EvalCache::~EvalCache() = default;

void EvalCache::clear() {
  // No entry since the last reset means every head is still null.
  if (used_ > 1) std::memset(heads_, 0, sizeof(heads_));
}

bool EvalCache::lookup(const Board& board, int32_t& score) {
  currentKey_ = boardKey(board);
  currentBucket_ = bucketOf(currentKey_);
  for (uint32_t i = heads_[currentBucket_]; i != 0;) {
    const EvalCacheEntry& e = entry(i);
    if (e.key0 == currentKey_.key0 && e.key1 == currentKey_.key1 && e.key2 == currentKey_.key2) {
      score = e.score;
      return true;
    }
    i = e.next;
  }
  return false;
}

bool EvalCache::reserveBlockFor(uint32_t index) {
  const uint32_t block = index / kEntriesPerBlock;
  if (block < blockCount_) return true;
  EvalCacheEntry* fresh = new (std::nothrow) EvalCacheEntry[kEntriesPerBlock];
  if (fresh == nullptr) return false;
  blocks_[blockCount_++].reset(fresh);
  return true;
}

void EvalCache::insert(const Board& /*board*/, int32_t score) {
  if (used_ >= maxEntries_ || !reserveBlockFor(used_)) return;
  const uint32_t index = used_++;
  EvalCacheEntry& e = entry(index);
  e.key0 = currentKey_.key0;
  e.key1 = currentKey_.key1;
  e.key2 = currentKey_.key2;
  e.score = score;
  e.next = heads_[currentBucket_];
  heads_[currentBucket_] = index;
}

void EvalCache::releaseAll() {
  // Every entry goes back to the arena at once; the blocks stay for the next
  // search, so a game reuses the same memory move after move. Only buckets
  // that hold an entry have a head to clear: with few entries, clear just
  // those rather than all 2^20.
  if (used_ - 1 > peak_) peak_ = used_ - 1;
  if (used_ - 1 < kBucketCount / 16) {
    for (uint32_t i = 1; i < used_; ++i) {
      const EvalCacheEntry& e = entry(i);
      heads_[bucketOf({e.key0, e.key1, e.key2})] = 0;
    }
  } else {
    std::memset(heads_, 0, sizeof(heads_));
  }
  used_ = 1;
}

size_t EvalCache::reservedBytes() const {
  return sizeof(*this) + static_cast<size_t>(blockCount_) * kEntriesPerBlock * sizeof(EvalCacheEntry);
}

}  // namespace tovrane
