#include "eval/circuit_maps.h"

#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "byte lanes are read with memcpy");

#include "eval/ring_plans.h"
#include "rules/capture_tables.h"
#include "rules/circuits.h"

namespace tovrane {

namespace {

// The rings are handled with bit masks: bit k of a 24-bit mask stands for
// ring entry k. A scan or tally walks at most one lap, which may wrap past
// entry 23; to keep every walk a plain bit range, masks are doubled to 48
// bits (bit k + 24 repeats bit k), and each range is placed so that it does
// not wrap.

constexpr uint64_t doubled(uint32_t mask) { return uint64_t{mask} | (uint64_t{mask} << kLapLength); }

// Bits low..high inclusive.
constexpr uint64_t bitRange(int low, int high) {
  return ((uint64_t{2} << high) - 1) & ~((uint64_t{1} << low) - 1);
}

struct EntryPlan {
  uint8_t cell;              // the target square, row-major
  uint8_t forwardStartCell;  // the square the second look examines
  uint32_t backwardLine;     // entries of the side before this one (the backward test)
  uint32_t forwardLine;      // entries of the side after this one (the forward test)
  uint64_t backwardScan;     // doubled range from the entry after this one up to the backward start
  uint64_t forwardScan;      // doubled range from the forward start up to the entry before this one
  uint64_t backwardKeep;     // doubled complement of the backward skip set
  uint64_t forwardKeep;      // doubled complement of the forward skip set
};

struct CircuitPlan {
  uint32_t cellBits[kCellCount];  // ring entries of each square
  EntryPlan entries[kLapLength];
};

constexpr CircuitPlan makePlan(const CircuitRing& ring) {
  CircuitPlan plan{};
  for (int k = 0; k < kLapLength; ++k) {
    plan.cellBits[ring.rows[k] * kBoardSize + ring.cols[k]] |= uint32_t{1} << k;
  }
  for (int i = 0; i < kLapLength; ++i) {
    const int side = i / kSideLength;
    const int first = side * kSideLength;
    const int last = first + kSideLength - 1;
    const int backwardStart = (first + kLapLength - 1) % kLapLength;
    const int forwardStart = (last + 1) % kLapLength;
    EntryPlan& e = plan.entries[i];
    e.cell = static_cast<uint8_t>(ring.rows[i] * kBoardSize + ring.cols[i]);
    e.forwardStartCell = static_cast<uint8_t>(ring.rows[forwardStart] * kBoardSize + ring.cols[forwardStart]);
    e.backwardLine = static_cast<uint32_t>(bitRange(first, i) & ~(uint64_t{1} << i));
    e.forwardLine = static_cast<uint32_t>(bitRange(i, last) & ~(uint64_t{1} << i));
    // The backward scan visits backwardStart down to i + 1, the forward scan
    // forwardStart up to i - 1; lift the far end by a lap where it would wrap.
    const int backwardTop = backwardStart > i ? backwardStart : backwardStart + kLapLength;
    e.backwardScan = bitRange(i + 1, backwardTop);
    const int forwardTop = i > forwardStart ? i - 1 : i - 1 + kLapLength;
    e.forwardScan = bitRange(forwardStart, forwardTop);
    e.backwardKeep = ~doubled(skipSet(ring, backwardStart, -1));
    e.forwardKeep = ~doubled(skipSet(ring, forwardStart, +1));
  }
  return plan;
}

constexpr CircuitPlan kSmallPlan = makePlan(smallRing);
constexpr CircuitPlan kLargePlan = makePlan(largeRing);

// Recording into a ThreatMap cell.
inline void replaceRecord(int32_t& cell, int32_t colour) { cell = colour; }
inline void mergeRecord(int32_t& cell, int32_t colour) { cell = (cell == 0 || cell == colour) ? colour : 2; }

inline int32_t tally(uint64_t black, uint64_t white, uint64_t range) {
  return bitCount(black & range) - bitCount(white & range);
}

// One circuit's pass. On the small circuit every scan replaces the cell and
// a target open both ways takes only a second look at the forward start
// square; on the large circuit every scan merges and such a target gets a
// full forward scan. Only the scan of the one open way, or the backward scan
// when both are open, is tallied.
template <bool kSmall>
void handleCircuit(const CircuitPlan& plan, uint32_t black, uint32_t white, ThreatMap& threatMap,
                   BalanceMap& balanceMap) {
  const uint32_t occupied = black | white;
  const uint64_t blackD = doubled(black);
  const uint64_t whiteD = doubled(white);
  const uint64_t occupiedD = blackD | whiteD;
  for (const EntryPlan& e : plan.entries) {
    const bool backwardOpen = (occupied & e.backwardLine) == 0;
    const bool forwardOpen = (occupied & e.forwardLine) == 0;
    int32_t& threat = threatMap.cells[e.cell];
    if (backwardOpen) {
      // Nearest piece going backward from the backward start: the highest bit.
      const uint64_t met = occupiedD & e.backwardScan;
      if (met != 0) {
        const int stop = 63 - std::countl_zero(met);
        const int32_t colour = ((blackD >> stop) & 1) != 0 ? 1 : -1;
        if constexpr (kSmall) {
          replaceRecord(threat, colour);
        } else {
          mergeRecord(threat, colour);
        }
        const uint64_t range = e.backwardScan & e.backwardKeep & ((uint64_t{2} << stop) - 1);
        balanceMap.cells[e.cell] += tally(blackD, whiteD, range);
      }
      if (forwardOpen) {
        if constexpr (kSmall) {
          const uint32_t bits = plan.cellBits[e.forwardStartCell];
          if ((occupied & bits) != 0) mergeRecord(threat, (black & bits) != 0 ? 1 : -1);
        } else {
          const uint64_t ahead = occupiedD & e.forwardScan;
          if (ahead != 0) {
            const int stop = std::countr_zero(ahead);
            mergeRecord(threat, ((blackD >> stop) & 1) != 0 ? 1 : -1);
          }
        }
      }
    } else if (forwardOpen) {
      // Nearest piece going forward from the forward start: the lowest bit.
      const uint64_t met = occupiedD & e.forwardScan;
      if (met != 0) {
        const int stop = std::countr_zero(met);
        const int32_t colour = ((blackD >> stop) & 1) != 0 ? 1 : -1;
        if constexpr (kSmall) {
          replaceRecord(threat, colour);
        } else {
          mergeRecord(threat, colour);
        }
        const uint64_t range = e.forwardScan & e.forwardKeep & ~((uint64_t{1} << stop) - 1);
        balanceMap.cells[e.cell] += tally(blackD, whiteD, range);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The same passes for buildCircuitMasks, one side of a ring at a time. With
// the ring rotated so that the side is bits 0..5 (the rest of the lap is
// bits 6..23, in the order the scans meet it), an entry before the side's
// first piece scans backward over all of bits 6..23 and then into the side;
// one after the side's last piece scans forward the same way round. So the
// entries of a side fall into at most four groups - before the first piece,
// the first piece, the last piece, after it - and entries between the first
// and last piece record nothing. The tallies are those of ring_plans.h.


// Lanes (bytes) 0..5 set to 0xFF where the 6-bit mask has a bit.
struct LaneMasks {
  uint64_t of[64];
};
constexpr LaneMasks makeLaneMasks() {
  LaneMasks t{};
  for (int m = 0; m < 64; ++m) {
    for (int k = 0; k < 6; ++k) {
      if ((m >> k) & 1) t.of[m] |= uint64_t{0xFF} << (8 * k);
    }
  }
  return t;
}
constexpr LaneMasks kLaneMasks = makeLaneMasks();

inline uint64_t lanes(int32_t value, uint32_t mask6) {
  return (uint64_t{static_cast<uint8_t>(value)} * 0x0101010101010101ULL) & kLaneMasks.of[mask6];
}

// 1 for a black piece at bit, 2 for a white one (the bit must be occupied).
inline uint32_t colourOf(uint32_t black, int bit) { return 2u - ((black >> bit) & 1u); }
inline int32_t valueOf(const Occupancy& occ, int cell) {
  return static_cast<int32_t>((occ.black >> cell) & 1) - static_cast<int32_t>((occ.white >> cell) & 1);
}

// One ring's outcome per entry: the entries that record a colour, the
// colour bits recorded (the second look included), and each side's tallies
// as signed bytes in board order.
struct RingOutcome {
  uint32_t records;
  uint32_t black;
  uint32_t white;
  uint64_t sides[4];
};

template <bool kSmall>
void ringOutcome(const RingPlan& plan, const Occupancy& occ, uint32_t black, uint32_t white, RingOutcome& out) {
  const uint64_t blackD = doubled(black);
  const uint64_t whiteD = doubled(white);
  const int32_t balance = bitCount(occ.black & plan.cells) - bitCount(occ.white & plan.cells);
  out = RingOutcome{0, 0, 0, {0, 0, 0, 0}};
  if ((black | white) == 0) return;  // nothing recorded, every tally zero
  int32_t twice[4];
  for (int x = 0; x < 4; ++x) twice[x] = balance + valueOf(occ, plan.crossings[x]);
  for (int side = 0; side < 4; ++side) {
    const SidePlan& p = plan.sides[side];
    const int first = side * kSideLength;
    const uint32_t b = static_cast<uint32_t>(blackD >> first) & kLapBits;
    const uint32_t w = static_cast<uint32_t>(whiteD >> first) & kLapBits;
    const uint32_t o = b | w;
    const uint32_t inSide = o & kSideBits;
    const uint32_t outside = o & ~kSideBits;
    const int32_t backTally = twice[p.exceptBackward];
    const int32_t foreTally = twice[p.exceptForward];
    // The nearest piece met in bits 6..23 backward (highest) and forward
    // (lowest), by colour.
    uint32_t backColour = 0;
    uint32_t foreColour = 0;
    if (outside != 0) {
      backColour = colourOf(b, 31 - std::countl_zero(outside));
      foreColour = colourOf(b, std::countr_zero(outside));
    }
    // The small circuit's second look: the square just past the side.
    const uint32_t secondLook = kSmall ? (((o >> 6) & 1) != 0 ? colourOf(b, 6) : 0) : foreColour;
    uint32_t records = 0;
    uint32_t blackBits = 0;
    uint32_t whiteBits = 0;
    uint64_t tallies = 0;
    auto group = [&](uint32_t mask, uint32_t colour, int32_t tally) {
      records |= mask;
      blackBits |= (colour & 1) != 0 ? mask : 0;
      whiteBits |= (colour & 2) != 0 ? mask : 0;
      tallies |= lanes(tally, mask);
    };
    if (inSide == 0) {
      // All six entries are open both ways. A record needs a piece outside
      // the side; the second look merges in.
      if (outside != 0) group(kSideBits, backColour | secondLook, backTally);
    } else {
      const int f = std::countr_zero(inSide);
      const int l = 31 - std::countl_zero(inSide);
      // Before the first piece: met backward is the piece outside, else the
      // side's last piece.
      if (f > 0) group((1u << f) - 1, outside != 0 ? backColour : colourOf(b, l), backTally);
      // The first piece itself: the same scan without its own square.
      const uint32_t firstColour = outside != 0 ? backColour : (l > f ? colourOf(b, l) : 0);
      if (firstColour != 0) {
        const int32_t own = static_cast<int32_t>((p.keepBackward >> f) & 1) * (((b >> f) & 1) != 0 ? 1 : -1);
        group(1u << f, firstColour | (f == l ? secondLook : 0), backTally - own);
      }
      // After the last piece: met forward is the piece outside, else the
      // side's first piece.
      const uint32_t afterColour = outside != 0 ? foreColour : colourOf(b, f);
      if (l > f) {
        const int32_t own = static_cast<int32_t>((p.keepForward >> l) & 1) * (((b >> l) & 1) != 0 ? 1 : -1);
        group(1u << l, afterColour, foreTally - own);
      }
      if (l < 5) group(kSideBits & ~((2u << l) - 1), afterColour, foreTally);
    }
    out.records |= records << first;
    out.black |= blackBits << first;
    out.white |= whiteBits << first;
    if (p.reversed) tallies = __builtin_bswap64(tallies) >> 16;
    out.sides[side] = tallies;
  }
}

// Where each square's entries are, for turning entry outcomes into cells.
struct CrossingPair {
  uint8_t earlier;
  uint8_t later;
};
struct EntryScatter {
  CellMask ofByte[3][256];  // the squares of any set of eight entries
};
struct RingScatter {
  EntryScatter small;
  EntryScatter large;
  CrossingPair smallPairs[4];
};

constexpr EntryScatter makeEntryScatter(const CircuitRing& ring) {
  EntryScatter t{};
  for (int chunk = 0; chunk < 3; ++chunk) {
    for (int byte = 0; byte < 256; ++byte) {
      for (int k = 0; k < 8; ++k) {
        if ((byte >> k) & 1) {
          const int entry = chunk * 8 + k;
          t.ofByte[chunk][byte] |= cellBit(ring.rows[entry] * kBoardSize + ring.cols[entry]);
        }
      }
    }
  }
  return t;
}

constexpr RingScatter makeRingScatter() {
  RingScatter t{};
  t.small = makeEntryScatter(smallRing);
  t.large = makeEntryScatter(largeRing);
  int pairs = 0;
  for (int a = 0; a < kLapLength; ++a) {
    for (int b = a + 1; b < kLapLength; ++b) {
      if (smallRing.rows[a] == smallRing.rows[b] && smallRing.cols[a] == smallRing.cols[b]) {
        t.smallPairs[pairs++] = {static_cast<uint8_t>(a), static_cast<uint8_t>(b)};
      }
    }
  }
  if (pairs != 4) throw "the small circuit crosses itself four times";
  return t;
}

constexpr RingScatter kRingScatter = makeRingScatter();

inline CellMask scatterEntries(const EntryScatter& t, uint32_t entries) {
  return t.ofByte[0][entries & 0xFF] | t.ofByte[1][(entries >> 8) & 0xFF] | t.ofByte[2][entries >> 16];
}

// Lane-wise sum of signed bytes that cannot overflow.
inline uint64_t addLanes(uint64_t a, uint64_t b) {
  return ((a & 0x7F7F7F7F7F7F7F7FULL) + (b & 0x7F7F7F7F7F7F7F7FULL)) ^ ((a ^ b) & 0x8080808080808080ULL);
}

}  // namespace

bool lineClearToEdge(const Board& board, int row, int col, EdgeDirection direction) {
  static constexpr int kRowStep[4] = {-1, 0, 1, 0};
  static constexpr int kColStep[4] = {0, 1, 0, -1};
  for (int r = row + kRowStep[direction], c = col + kColStep[direction]; inBounds(r, c);
       r += kRowStep[direction], c += kColStep[direction]) {
    const int32_t cell = board.at(r, c);
    if (cell == kWhite || cell == kBlack) return false;
  }
  return true;
}

void buildCircuitMaps(const Board& board, ThreatMap& threatMap, BalanceMap& balanceMap) {
  threatMap = {};
  balanceMap = {};
  uint32_t smallBlack = 0;
  uint32_t smallWhite = 0;
  uint32_t largeBlack = 0;
  uint32_t largeWhite = 0;
  for (int cell = 0; cell < kCellCount; ++cell) {
    const int32_t v = board.cells[cell];
    const uint32_t blackMask = v == kBlack ? ~uint32_t{0} : 0;
    const uint32_t whiteMask = v == kWhite ? ~uint32_t{0} : 0;
    smallBlack |= kSmallPlan.cellBits[cell] & blackMask;
    smallWhite |= kSmallPlan.cellBits[cell] & whiteMask;
    largeBlack |= kLargePlan.cellBits[cell] & blackMask;
    largeWhite |= kLargePlan.cellBits[cell] & whiteMask;
  }
  handleCircuit<true>(kSmallPlan, smallBlack, smallWhite, threatMap, balanceMap);
  handleCircuit<false>(kLargePlan, largeBlack, largeWhite, threatMap, balanceMap);
}

SignMasks signMasks(const int8_t (&values)[40]) {
  SignMasks out{0, 0};
  for (int chunk = 0; chunk < 5; ++chunk) {
    uint64_t x = 0;
    std::memcpy(&x, values + chunk * 8, sizeof(x));  // byte k to bits 8k..8k+7 (little-endian)
    // Biased by 128, a value below zero lacks the high bit; one above zero
    // has it and some low bit too.
    const uint64_t biased = x ^ 0x8080808080808080ULL;
    const uint64_t low = biased & 0x7F7F7F7F7F7F7F7FULL;
    out.below |= CellMask{byteHighBits(~biased)} << (chunk * 8);
    out.above |= CellMask{byteHighBits(biased & (low + 0x7F7F7F7F7F7F7F7FULL))} << (chunk * 8);
  }
  out.below &= kAllCells;
  out.above &= kAllCells;
  return out;
}

SignMasks signMasks(const int16_t (&values)[kCellCount]) {
  SignMasks out{0, 0};
  // Bit 15 of each 16-bit lane packed into bits 0..3.
  auto laneHighBits = [](uint64_t x) {
    return static_cast<uint32_t>((((x >> 15) & 0x0001000100010001ULL) * 0x0001000200040008ULL) >> 48) & 15u;
  };
  for (int chunk = 0; chunk < kCellCount / 4; ++chunk) {
    uint64_t x = 0;
    std::memcpy(&x, values + chunk * 4, sizeof(x));  // value k to bits 16k..16k+15 (little-endian)
    const uint64_t biased = x ^ 0x8000800080008000ULL;
    const uint64_t low = biased & 0x7FFF7FFF7FFF7FFFULL;
    out.below |= CellMask{laneHighBits(~biased)} << (chunk * 4);
    out.above |= CellMask{laneHighBits(biased & (low + 0x7FFF7FFF7FFF7FFFULL))} << (chunk * 4);
  }
  return out;
}

namespace {

// Turns a ring's entry outcome into squares. On the small circuit a later
// handling replaces an earlier one: the earlier entry of a crossing point
// counts only when the later one records nothing.
template <bool kSmall>
void shareOf(const RingPlan& plan, const RingOutcome& outcome, RingShare& share) {
  uint32_t replaced = 0;
  if constexpr (kSmall) {
    for (const CrossingPair& pair : kRingScatter.smallPairs) {
      replaced |= ((outcome.records >> pair.later) & 1) << pair.earlier;
    }
  }
  const EntryScatter& scatter = kSmall ? kRingScatter.small : kRingScatter.large;
  share.blackReaches = scatterEntries(scatter, outcome.black & ~replaced);
  share.whiteReaches = scatterEntries(scatter, outcome.white & ~replaced);
  // A square's tally: its row line's plus its column line's. A row goes in
  // as one word (its two spare bytes are zero), a column a square at a time.
  alignas(8) uint8_t bytes[40] = {};
  for (int side = 0; side < 4; ++side) {
    const SidePlan& p = plan.sides[side];
    const uint64_t tallies = outcome.sides[side];
    if (p.isRow) {
      uint8_t* line = bytes + p.line * kBoardSize;
      uint64_t word = 0;
      std::memcpy(&word, line, sizeof(word));
      word = addLanes(word, tallies);
      std::memcpy(line, &word, sizeof(word));
    } else {
      for (int row = 0; row < kBoardSize; ++row) {
        uint8_t& cell = bytes[row * kBoardSize + p.line];
        cell = static_cast<uint8_t>(cell + (tallies >> (8 * row)));
      }
    }
  }
  std::memcpy(share.balance, bytes, sizeof(bytes));
}

template <bool kSmall>
const RingShare& rememberedShare(const RingPlan& plan, const Occupancy& occ, uint32_t black, uint32_t white,
                                 CircuitMemo* memo, RingShare& scratch) {
  RingShare* share = &scratch;
  if (memo != nullptr) {
    const uint64_t key = uint64_t{black} | (uint64_t{white} << kLapLength) | (uint64_t{kSmall ? 1u : 2u} << 48);
    CircuitMemo::Slot& slot = memo->slots[(key * 0x9E3779B97F4A7C15ULL) >> (64 - CircuitMemo::kSlotBits)];
    if (slot.key == key) return slot.share;
    slot.key = key;
    share = &slot.share;
  }
  RingOutcome outcome;
  ringOutcome<kSmall>(plan, occ, black, white, outcome);
  shareOf<kSmall>(plan, outcome, *share);
  return *share;
}

}  // namespace

CircuitMasks buildCircuitMasks(const Occupancy& occ, CircuitMemo* memo) {
  RingShare smallScratch;
  RingShare largeScratch;
  const RingMask blackRings = ringsOf(occ.black);
  const RingMask whiteRings = ringsOf(occ.white);
  // A copy: the large circuit may take the same memo slot.
  const RingShare small =
      rememberedShare<true>(kSmallRingPlan, occ, static_cast<uint32_t>(blackRings) & kLapBits,
                            static_cast<uint32_t>(whiteRings) & kLapBits, memo, smallScratch);
  const RingShare& large = rememberedShare<false>(
      kLargeRingPlan, occ, static_cast<uint32_t>(blackRings >> kLargeRingShift) & kLapBits,
      static_cast<uint32_t>(whiteRings >> kLargeRingShift) & kLapBits, memo, largeScratch);

  // The small circuit records first and the large one merges in; the
  // balance of a square adds both circuits' tallies.
  CircuitMasks out{0, 0, small.blackReaches | large.blackReaches, small.whiteReaches | large.whiteReaches};
  for (int word = 0; word < 5; ++word) {
    const uint64_t sum = addLanes(small.balance[word], large.balance[word]);
    const uint64_t negative = sum & 0x8080808080808080ULL;
    const uint64_t nonZero = (((sum & 0x7F7F7F7F7F7F7F7FULL) + 0x7F7F7F7F7F7F7F7FULL) | sum) & 0x8080808080808080ULL;
    out.balanceBelow |= CellMask{byteHighBits(negative)} << (word * 8);
    out.balanceAbove |= CellMask{byteHighBits(nonZero & ~negative)} << (word * 8);
  }
  out.balanceBelow &= kAllCells;
  out.balanceAbove &= kAllCells;
  return out;
}

}  // namespace tovrane
