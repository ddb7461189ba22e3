#include "eval/circuit_maps.h"

#include <bit>

#include "rules/circuits.h"

namespace tovrane {

namespace {

// The rings are handled with bit masks: bit k of a 24-bit mask stands for
// ring entry k. A scan or tally walks at most one lap, which may wrap past
// entry 23; to keep every walk a plain bit range, masks are doubled to 48
// bits (bit k + 24 repeats bit k), and each range is placed so that it does
// not wrap.
constexpr int kSideLength = 6;

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

// The skip set of a tally: walking one lap from start in direction step (+1
// or -1), take the later-met entry of each crossing point, except for the
// crossing point whose later entry comes last.
constexpr uint32_t skipSet(const CircuitRing& ring, int start, int step) {
  int lastPosition = -1;
  int lastEntry = -1;
  uint32_t skips = 0;
  for (int pos = 0; pos < kLapLength; ++pos) {
    const int k = ((start + step * pos) % kLapLength + kLapLength) % kLapLength;
    for (int earlier = 0; earlier < pos; ++earlier) {
      const int j = ((start + step * earlier) % kLapLength + kLapLength) % kLapLength;
      if (ring.rows[j] == ring.rows[k] && ring.cols[j] == ring.cols[k]) {
        skips |= uint32_t{1} << k;
        if (pos > lastPosition) {
          lastPosition = pos;
          lastEntry = k;
        }
      }
    }
  }
  return skips & ~(uint32_t{1} << lastEntry);
}

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

// Bit count without a library call (the portable target has no popcount
// instruction).
inline int32_t bitCount(uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555ULL);
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<int32_t>((x * 0x0101010101010101ULL) >> 56);
}

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

}  // namespace tovrane
