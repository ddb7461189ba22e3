#pragma once
// Remembers leaf scores within one search, so that a leaf reached by several
// move orders is evaluated once. A chained hash table of 2^20 buckets keyed by
// the whole Board. The key holds no side: all leaves of one search have the
// same side to move, and the table is emptied between searches.
//
// Entries come from an arena of fixed-size blocks rather than one heap call
// each; releaseAll hands them all back at once. The arena never grows past
// kMaxEntries: once it is full (or memory cannot be had) insert does nothing,
// and the leaf is simply evaluated again when it recurs. Scores never depend
// on whether a leaf was cached.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "game/board.h"

namespace tovrane {

struct BoardKey {
  int32_t key0;
  int32_t key1;
  int32_t key2;
  bool operator==(const BoardKey&) const = default;
};

// Each part is a 12-digit base-3 number over a pair of columns: column 2p
// from row 5 down to row 0, then column 2p + 1 the same way.
BoardKey boardKey(const Board& board);
inline int32_t bucketOf(const BoardKey& key) { return key.key0 ^ key.key1 ^ key.key2; }

struct EvalCacheEntry {
  int32_t key0;
  int32_t key1;
  int32_t key2;
  int32_t score;
  uint32_t next;  // index of the next entry of the bucket; 0 ends the chain
};

class EvalCache {
 public:
  static constexpr int kBucketCount = 1 << 20;
  static constexpr uint32_t kEntriesPerBlock = 1 << 16;
  // 4M entries of 20 bytes: 80 MiB of entries plus 4 MiB of bucket heads,
  // a hard ceiling whatever the position. The largest searches measured
  // (bench/cache_memory_bench) store about 1.2M leaves.
  static constexpr uint32_t kMaxEntries = 1u << 22;

  EvalCache();
  ~EvalCache();
  EvalCache(const EvalCache&) = delete;
  EvalCache& operator=(const EvalCache&) = delete;

  void clear();
  // Computes the key and bucket of board and keeps them for insert.
  bool lookup(const Board& board, int32_t& score);
  // Files score under the key of the last lookup (which must have missed).
  void insert(const Board& board, int32_t score);
  void releaseAll();

  size_t entryCount() const { return used_ - 1; }
  // The most entries held at once since the cache was made.
  size_t peakEntries() const { return peak_ > used_ - 1 ? peak_ : used_ - 1; }
  size_t reservedBytes() const;
  // Lowers the ceiling, for tests of the full-arena path; it never rises
  // above kMaxEntries.
  void limitEntries(uint32_t maxEntries) { maxEntries_ = maxEntries < kMaxEntries ? maxEntries : kMaxEntries; }

 private:
  EvalCacheEntry& entry(uint32_t index) {
    return blocks_[index / kEntriesPerBlock][index % kEntriesPerBlock];
  }
  bool reserveBlockFor(uint32_t index);

  uint32_t heads_[kBucketCount];
  BoardKey currentKey_{};
  int32_t currentBucket_ = 0;

  static constexpr uint32_t kMaxBlocks = kMaxEntries / kEntriesPerBlock;
  std::unique_ptr<EvalCacheEntry[]> blocks_[kMaxBlocks];
  uint32_t blockCount_ = 0;
  uint32_t used_ = 1;  // index 0 is the end-of-chain marker, never handed out
  uint32_t maxEntries_ = kMaxEntries;
  size_t peak_ = 0;
};

}  // namespace tovrane
