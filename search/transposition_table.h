#pragma once
// engine-pro's transposition table: what earlier searches learned about a
// position (score bound, depth, best move), found by its Zobrist key.
// Buckets of four entries; a new entry replaces the same position, or else
// the shallowest entry, preferring entries of earlier searches. The table
// never grows: its size is fixed when it is made.
//
// Several search threads share one table without locks. Each entry is two
// atomic words, its data and its key XOR its data: an entry torn by two
// writers at once no longer matches its key and is passed over, and the
// search checks a table move for legality before it plays it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "game/board.h"

namespace tovrane {

// Random keys for every (cell, colour) and for black to move.
struct ZobristKeys {
  uint64_t piece[kCellCount][3];  // index by cell value; [.][0] is 0
  uint64_t blackToMove;
};
extern const ZobristKeys kZobrist;

uint64_t zobristKey(const Board& board, Side sideToMove);

enum class Bound : uint8_t { kNone = 0, kUpper = 1, kLower = 2, kExact = 3 };

// One entry as a probe reads it: the key, the score and one word holding
// the best move, the bound, the depth and the search age.
struct TableEntry {
  uint64_t key;
  int32_t score;
  uint32_t data;  // move in bits 0..11, bound 12..13, depth 14..21, age 22..31

  uint16_t move() const;  // from cell * 64 + to cell; kNoTableMove when none
  Bound bound() const { return static_cast<Bound>((data >> 12) & 3); }
  int depth() const { return static_cast<int>((data >> 14) & 255); }
  unsigned age() const { return data >> 22; }
};
constexpr uint16_t kNoTableMove = 0xFFFF;

class TranspositionTable {
 public:
  static constexpr size_t kBucketEntries = 4;
  static constexpr size_t kMaxMegabytes = 1024;

  // The largest power-of-two number of buckets that fits in megabytes MiB
  // (at least one bucket).
  explicit TranspositionTable(size_t megabytes);

  size_t bytes() const { return bucketCount_ * sizeof(Bucket); }
  size_t entryCount() const { return bucketCount_ * kBucketEntries; }

  void clear();
  // A new search: older entries become the first to be replaced. A fresh
  // search sees none of them, as if the table had been cleared (the same
  // result every run, without clearing it each time); only a fresh search
  // ever clears the table (a search on the clock never does).
  void nextAge(bool fresh = false);

  // Asks the processor to fetch key's bucket: a probe soon after finds it
  // in the cache.
  void prefetch(uint64_t key) const { __builtin_prefetch(&bucketOf(key)); }
  // The entry for key into entry; false when there is none.
  bool probe(uint64_t key, TableEntry& entry) const;
  // depth is kept within 0..255.
  void store(uint64_t key, int32_t score, Bound bound, int depth, uint16_t move);

  // Entries of the current age, per thousand of a sample of the table.
  int permille() const;

 private:
  // 16 bytes: check is the key XOR payload; payload holds the score (low
  // half) and the data word (high half).
  struct Slot {
    std::atomic<uint64_t> check;
    std::atomic<uint64_t> payload;
    TableEntry read() const;
    void write(const TableEntry& e);
  };
  struct Bucket {
    Slot entries[kBucketEntries];
  };
  Bucket& bucketOf(uint64_t key) const { return buckets_[key & (bucketCount_ - 1)]; }

  size_t bucketCount_;
  std::unique_ptr<Bucket[]> buckets_;
  static constexpr unsigned kAgeCount = 1024;
  bool visible(const TableEntry& e) const {
    return e.bound() != Bound::kNone && (!fresh_ || e.age() == age_);
  }

  unsigned age_ = 0;
  bool fresh_ = false;
  bool wrapped_ = false;  // the age came round since the last clear
};

}  // namespace tovrane
