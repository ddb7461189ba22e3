#include "search/eval_cache.h"

#include <cstring>
#include <new>

#include "game/platform.h"

namespace tovrane {

namespace {

constexpr uint32_t kGenerationLimit = 1u << 24;

inline uint64_t lowKey(const Occupancy& occ) { return occ.black | (occ.white << kCellCount); }
inline uint32_t whiteHigh(const Occupancy& occ) { return static_cast<uint32_t>(occ.white >> (64 - kCellCount)); }

constexpr size_t kTableAlignment = size_t{2} << 20;

}  // namespace

void EvalCache::TableRelease::operator()(EvalCacheEntry* table) const {
  ::operator delete(static_cast<void*>(table), std::align_val_t{kTableAlignment});
}

EvalCache::Table EvalCache::newTable(uint32_t slots) {
  const size_t bytes = size_t{slots} * sizeof(EvalCacheEntry);
  void* memory = ::operator new(bytes, std::align_val_t{kTableAlignment}, std::nothrow);
  if (memory == nullptr) return Table{};
  if (bytes >= kTableAlignment) platform::adviseLargePages(memory, bytes);
  std::memset(memory, 0, bytes);
  return Table{static_cast<EvalCacheEntry*>(memory)};
}

EvalCache::EvalCache() {
  slots_ = newTable(1u << kInitialSlotBits);
  if (slots_) {
    slotBits_ = kInitialSlotBits;
    slotCount_ = 1u << kInitialSlotBits;
  }
}

EvalCache::~EvalCache() = default;

void EvalCache::clear() {
  if (count_ > peak_) peak_ = count_;
  count_ = 0;
  if (++generation_ == kGenerationLimit) {
    // Generations wrap after 16M searches: forget old stamps for good.
    if (slotCount_ > 0) std::memset(static_cast<void*>(slots_.get()), 0, size_t{slotCount_} * sizeof(EvalCacheEntry));
    generation_ = 1;
  }
}

bool EvalCache::lookup(const Occupancy& occ, int32_t& score) {
  if (slotCount_ == 0) return false;
  pendingLow_ = lowKey(occ);
  pendingHigh_ = whiteHigh(occ) | (generation_ << kGenerationShift);
  const uint32_t mask = slotCount_ - 1;
  uint32_t slot = homeSlot(pendingLow_, pendingHigh_ & kWhiteHighMask);
  for (;; slot = (slot + 1) & mask) {
    const EvalCacheEntry& e = slots_.get()[slot];
    if ((e.high >> kGenerationShift) != generation_) break;
    if (e.low == pendingLow_ && e.high == pendingHigh_) {
      score = e.score;
      return true;
    }
  }
  pendingSlot_ = slot;
  return false;
}

void EvalCache::prefetch(const Occupancy& occ) const {
  if (slotCount_ == 0) return;
#if defined(__GNUC__)
  __builtin_prefetch(&slots_.get()[homeSlot(lowKey(occ), whiteHigh(occ))]);
#endif
}

bool EvalCache::grow() {
  const int bits = slotBits_ + 1;
  const uint32_t count = 1u << bits;
  Table fresh = newTable(count);
  if (!fresh) return false;
  Table old = std::move(slots_);
  const uint32_t oldCount = slotCount_;
  slots_ = std::move(fresh);
  slotCount_ = count;
  slotBits_ = bits;
  for (uint32_t i = 0; i < oldCount; ++i) {
    const EvalCacheEntry& e = old.get()[i];
    if ((e.high >> kGenerationShift) != generation_) continue;
    uint32_t slot = homeSlot(e.low, e.high & kWhiteHighMask);
    while ((slots_.get()[slot].high >> kGenerationShift) == generation_) slot = (slot + 1) & (count - 1);
    slots_.get()[slot] = e;
  }
  return true;
}

void EvalCache::insert(int32_t score) {
  if (slotCount_ == 0 || count_ >= maxEntries_) return;
  if (count_ >= slotCount_ / 2) {
    if (slotBits_ < kMaxSlotBits && grow()) {
      // The table changed under the pending lookup: find its free slot again.
      uint32_t slot = homeSlot(pendingLow_, pendingHigh_ & kWhiteHighMask);
      while ((slots_.get()[slot].high >> kGenerationShift) == generation_) slot = (slot + 1) & (slotCount_ - 1);
      pendingSlot_ = slot;
    } else if (count_ >= slotCount_ / 4 * 3) {
      return;
    }
  }
  slots_.get()[pendingSlot_] = EvalCacheEntry{pendingLow_, pendingHigh_, score};
  ++count_;
}

void EvalCache::releaseAll() {
  if (count_ > peak_) peak_ = count_;
  clear();
}

}  // namespace tovrane
