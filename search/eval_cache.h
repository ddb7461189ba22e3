#pragma once
// Remembers leaf scores within one search, so that a leaf reached by several
// move orders is evaluated once. An open-addressing table (linear probing)
// keyed by the whole position: both colours' cell masks, packed exactly into
// twelve bytes, so a hit means the very same Board. The key holds no side:
// all leaves of one search have the same side to move, and the table is
// emptied between searches.
//
// Emptying is a new generation number: an entry counts only when it carries
// the current one, so clearing costs nothing. The table starts small and
// doubles while more than half full, up to kMaxSlots; at that size it takes
// entries up to kMaxEntries (three quarters full) and then insert does
// nothing, and the leaf is simply evaluated again when it recurs. Scores
// never depend on whether a leaf was cached.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "game/bitboard.h"
#include "game/board.h"

namespace tovrane {

struct EvalCacheEntry {
  uint64_t low;    // black cells, then white cells 0..27 from bit 36
  uint32_t high;   // white cells 28..35 in bits 0..7, the generation above
  int32_t score;
};

class EvalCache {
 public:
  static constexpr int kInitialSlotBits = 16;
  static constexpr int kMaxSlotBits = 19;
  // 512K slots of 16 bytes: 8 MiB, a hard ceiling whatever the position (12
  // MiB for a moment while the table doubles the last time). Larger tables
  // were measured slower: a probe into them misses the processor caches,
  // and costs as much as evaluating the leaf again.
  static constexpr uint32_t kInitialSlots = 1u << kInitialSlotBits;
  static constexpr uint32_t kMaxSlots = 1u << kMaxSlotBits;
  static constexpr uint32_t kMaxEntries = kMaxSlots / 4 * 3;

  EvalCache();
  ~EvalCache();
  EvalCache(const EvalCache&) = delete;
  EvalCache& operator=(const EvalCache&) = delete;

  // Starts a search: forgets every entry.
  void clear();
  // Finds the position's slot and keeps it for insert.
  bool lookup(const Occupancy& occ, int32_t& score);
  bool lookup(const Board& board, int32_t& score) { return lookup(occupancyOf(board), score); }
  // Files score under the position of the last lookup (which must have missed).
  void insert(int32_t score);
  void insert(const Board& /*board*/, int32_t score) { insert(score); }
  // Ends a search; the entries are forgotten at the next clear or here.
  void releaseAll();

  // Loads the slot where occ would be looked up into the processor cache.
  void prefetch(const Occupancy& occ) const;

  size_t entryCount() const { return count_; }
  // The most entries held at once since the cache was made.
  size_t peakEntries() const { return peak_ > count_ ? peak_ : count_; }
  size_t reservedBytes() const { return sizeof(*this) + size_t{slotCount_} * sizeof(EvalCacheEntry); }
  size_t slotCount() const { return slotCount_; }
  // Lowers the entry ceiling, for tests of the full-table path; it never
  // rises above kMaxEntries.
  void limitEntries(uint32_t maxEntries) { maxEntries_ = maxEntries < kMaxEntries ? maxEntries : kMaxEntries; }

 private:
  static constexpr uint32_t kGenerationShift = 8;
  static constexpr uint32_t kWhiteHighMask = (1u << kGenerationShift) - 1;

  uint32_t homeSlot(uint64_t low, uint32_t whiteHigh) const {
    const uint64_t mixed = (low ^ (uint64_t{whiteHigh} << 56)) * 0x9E3779B97F4A7C15ULL;
    return static_cast<uint32_t>(mixed >> (64 - slotBits_));
  }
  bool grow();

  // Tables of 2 MiB and more are aligned to 2 MiB and get large pages
  // where the system has them: a random probe then rarely misses the TLB.
  struct TableRelease {
    void operator()(EvalCacheEntry* table) const;
  };
  using Table = std::unique_ptr<EvalCacheEntry, TableRelease>;
  static Table newTable(uint32_t slots);

  Table slots_;
  uint32_t slotCount_ = 0;
  int slotBits_ = 0;
  uint32_t generation_ = 1;  // 0 marks a slot never written
  uint32_t count_ = 0;
  uint32_t maxEntries_ = kMaxEntries;
  size_t peak_ = 0;
  // The last lookup: its key and the free slot where it stopped.
  uint64_t pendingLow_ = 0;
  uint32_t pendingHigh_ = 0;
  uint32_t pendingSlot_ = 0;
};

}  // namespace tovrane
