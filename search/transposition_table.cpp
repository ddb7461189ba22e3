#include "search/transposition_table.h"

#include <cstring>

namespace tovrane {

namespace {

constexpr uint64_t splitMix(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

constexpr ZobristKeys buildZobrist() {
  ZobristKeys keys{};
  uint64_t state = 0x746F7672616E65ull;  // fixed: keys, and so searches, are the same every run
  for (int cell = 0; cell < kCellCount; ++cell) {
    keys.piece[cell][0] = 0;
    keys.piece[cell][kWhite] = splitMix(state);
    keys.piece[cell][kBlack] = splitMix(state);
  }
  keys.blackToMove = splitMix(state);
  return keys;
}

constexpr uint32_t kMoveField = 0xFFF;

}  // namespace

uint16_t TableEntry::move() const {
  const uint32_t m = data & kMoveField;
  return m == kMoveField ? kNoTableMove : static_cast<uint16_t>(m);
}

const ZobristKeys kZobrist = buildZobrist();

uint64_t zobristKey(const Board& board, Side sideToMove) {
  uint64_t key = sideToMove == kBlack ? kZobrist.blackToMove : 0;
  for (int cell = 0; cell < kCellCount; ++cell) {
    const int32_t value = board.cells[cell];
    if (value == kWhite || value == kBlack) key ^= kZobrist.piece[cell][value];
  }
  return key;
}

TranspositionTable::TranspositionTable(size_t megabytes) {
  if (megabytes > kMaxMegabytes) megabytes = kMaxMegabytes;
  const size_t budget = megabytes * 1024 * 1024;
  bucketCount_ = 1;
  while (bucketCount_ * 2 * sizeof(Bucket) <= budget) bucketCount_ *= 2;
  buckets_ = std::make_unique<Bucket[]>(bucketCount_);
  clear();
}

void TranspositionTable::clear() {
  std::memset(static_cast<void*>(buckets_.get()), 0, bucketCount_ * sizeof(Bucket));
  age_ = 0;
  wrapped_ = false;
}

void TranspositionTable::nextAge(bool fresh) {
  fresh_ = fresh;
  age_ = (age_ + 1) % kAgeCount;
  // An age comes round again after kAgeCount searches. A search on the
  // clock takes what is left of the age's earlier turn as any older entry
  // (a whole clear of a large table would cost it more time than it has);
  // a fresh search, which has no clock, must see none of it.
  if (age_ == 0) wrapped_ = true;
  if (fresh_ && wrapped_) clear();
}

TableEntry TranspositionTable::Slot::read() const {
  const uint64_t data = payload.load(std::memory_order_relaxed);
  const uint64_t keyed = check.load(std::memory_order_relaxed);
  return {keyed ^ data, static_cast<int32_t>(static_cast<uint32_t>(data)), static_cast<uint32_t>(data >> 32)};
}

void TranspositionTable::Slot::write(const TableEntry& e) {
  const uint64_t data = static_cast<uint64_t>(static_cast<uint32_t>(e.score)) | (static_cast<uint64_t>(e.data) << 32);
  payload.store(data, std::memory_order_relaxed);
  check.store(e.key ^ data, std::memory_order_relaxed);
}

bool TranspositionTable::probe(uint64_t key, TableEntry& entry) const {
  const Bucket& bucket = bucketOf(key);
  for (const Slot& slot : bucket.entries) {
    const TableEntry e = slot.read();
    if (e.key == key && visible(e)) {
      entry = e;
      return true;
    }
  }
  return false;
}

void TranspositionTable::store(uint64_t key, int32_t score, Bound bound, int depth, uint16_t move) {
  Bucket& bucket = bucketOf(key);
  Slot* victimSlot = &bucket.entries[0];
  TableEntry victimEntry = victimSlot->read();
  int victimWorth = 1 << 30;
  for (Slot& slot : bucket.entries) {
    const TableEntry e = slot.read();
    if (!visible(e) || e.key == key) {
      victimSlot = &slot;
      victimEntry = e;
      break;
    }
    // Shallow entries and entries of earlier searches go first.
    const int ageGap = static_cast<int>((age_ + kAgeCount - e.age()) % kAgeCount);
    const int worth = e.depth() - 8 * ageGap;
    if (worth < victimWorth) {
      victimWorth = worth;
      victimSlot = &slot;
      victimEntry = e;
    }
  }
  // Keep the best move of the same position when the new result has none.
  if (move == kNoTableMove && victimEntry.key == key && visible(victimEntry)) move = victimEntry.move();
  const uint32_t moveField = move == kNoTableMove ? kMoveField : (move & kMoveField);
  const uint32_t depthField = static_cast<uint32_t>(depth < 0 ? 0 : depth > 255 ? 255 : depth);
  victimSlot->write({key, score, moveField | (static_cast<uint32_t>(bound) << 12) | (depthField << 14) | (age_ << 22)});
}

int TranspositionTable::permille() const {
  const size_t sample = bucketCount_ < 250 ? bucketCount_ : 250;
  int used = 0;
  for (size_t b = 0; b < sample; ++b) {
    for (const Slot& slot : buckets_[b].entries) {
      const TableEntry e = slot.read();
      used += e.bound() != Bound::kNone && e.age() == age_ ? 1 : 0;
    }
  }
  return static_cast<int>(used * 1000 / (sample * kBucketEntries));
}

}  // namespace tovrane
