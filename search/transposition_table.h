#pragma once
// engine-pro's transposition table: what earlier searches learned about a
// position (score bound, depth, best move), found by its Zobrist key.
// Buckets of four entries; a new entry replaces the same position, or else
// the shallowest entry, preferring entries of earlier searches. The table
// never grows: its size is fixed when it is made.

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

struct TableEntry {
  uint64_t key;
  int32_t score;
  uint16_t move;   // from cell * 64 + to cell; kNoTableMove when none
  int8_t depth;
  uint8_t boundAndAge;  // bound in the low 2 bits, search age above
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
  // A new search: older entries become the first to be replaced.
  void nextAge() { age_ = static_cast<uint8_t>((age_ + 1) & 63); }

  // The entry for key, or null.
  const TableEntry* probe(uint64_t key) const;
  void store(uint64_t key, int32_t score, Bound bound, int depth, uint16_t move);

  // Entries of the current age, per thousand of a sample of the table.
  int permille() const;

 private:
  struct Bucket {
    TableEntry entries[kBucketEntries];
  };
  Bucket& bucketOf(uint64_t key) const { return buckets_[key & (bucketCount_ - 1)]; }

  size_t bucketCount_;
  std::unique_ptr<Bucket[]> buckets_;
  uint8_t age_ = 0;
};

}  // namespace tovrane
