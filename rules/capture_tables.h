#pragma once
// Capture walks on bit masks. Each circuit is a ring of 24 entries (the
// CircuitRing order); a capture walk runs round its ring one way, so the
// first piece it meets is the nearest set bit of the ring's occupancy on
// that side of the start, and whether a corner loop lies on the way depends
// only on the start and the distance walked.
//
// Ring masks hold the small ring in bits 0..23 and the large ring in bits
// 32..55 (bit 32 + k for large entry k).

#include <bit>
#include <cstdint>

#include "game/bitboard.h"
#include "rules/circuits.h"

namespace tovrane {

using RingMask = uint64_t;
constexpr int kLargeRingShift = 32;
constexpr uint32_t kLapBits = (uint32_t{1} << kLapLength) - 1;

struct RingTables {
  RingMask ofCell[kCellCount];           // the ring entries of each square
  RingMask ofRow[kBoardSize][64];        // the ring entries of any set of one row's squares
  int8_t cellOf[2][kLapLength];          // the square of each entry: [0] small ring, [1] large
};

constexpr RingTables makeRingTables() {
  RingTables t{};
  const CircuitRing* rings[2] = {&smallRing, &largeRing};
  for (int c = 0; c < 2; ++c) {
    for (int k = 0; k < kLapLength; ++k) {
      const int cell = rings[c]->rows[k] * kBoardSize + rings[c]->cols[k];
      t.cellOf[c][k] = static_cast<int8_t>(cell);
      t.ofCell[cell] |= RingMask{1} << (k + c * kLargeRingShift);
    }
  }
  for (int row = 0; row < kBoardSize; ++row) {
    for (int pattern = 0; pattern < 64; ++pattern) {
      for (int col = 0; col < kBoardSize; ++col) {
        if ((pattern >> col) & 1) t.ofRow[row][pattern] |= t.ofCell[row * kBoardSize + col];
      }
    }
  }
  return t;
}

inline constexpr RingTables kRingTables = makeRingTables();

// The ring entries of the squares of mask, six table look-ups.
inline RingMask ringsOf(CellMask mask) {
  RingMask rings = 0;
  for (int row = 0; row < kBoardSize; ++row) rings |= kRingTables.ofRow[row][(mask >> (row * kBoardSize)) & 63];
  return rings;
}

// One capture walk: a track and a start entry of its first lap, seen on the
// circuit's ring.
struct CaptureWalk {
  int8_t circuit;    // 0 small, 1 large
  int8_t entry;      // ring entry of the start square
  int8_t forward;    // 1: the walk runs to higher ring entries; 0: to lower ones
  int8_t firstLoop;  // walks of at least this many steps have passed a loop
  uint32_t beforeLoop;  // ring entries the walk passes before its first loop
};

// For every square its walks in the generator's order: by track, then by
// start entry.
constexpr int kMaxWalksPerSquare = 4;
struct CaptureWalks {
  CaptureWalk walks[kCellCount][kMaxWalksPerSquare];
  int8_t count[kCellCount];
};

constexpr CaptureWalks makeCaptureWalks() {
  CaptureWalks table{};
  const CircuitRing* rings[2] = {&smallRing, &largeRing};
  for (int t = 0; t < kTrackCount; ++t) {
    const CircuitTrack& track = *kCaptureTracks[t];
    // The track is its ring read from some entry one way or the other.
    int circuit = -1;
    int origin = 0;
    int way = 0;
    for (int c = 0; c < 2 && circuit < 0; ++c) {
      for (int o = 0; o < kLapLength && circuit < 0; ++o) {
        for (int w : {1, -1}) {
          bool same = true;
          for (int k = 0; k < kLapLength && same; ++k) {
            const int e = ((o + w * k) % kLapLength + kLapLength) % kLapLength;
            same = rings[c]->rows[e] == track.entries[k].row && rings[c]->cols[e] == track.entries[k].col;
          }
          if (same && circuit < 0) {
            circuit = c;
            origin = o;
            way = w;
          }
        }
      }
    }
    if (circuit < 0) throw "a track that is not a ring";
    for (int i = 0; i < kLapLength; ++i) {
      int firstLoop = 1;
      while (!isLoopPassage(track.entries[i + firstLoop - 1], track.entries[i + firstLoop])) ++firstLoop;
      const int cell = track.entries[i].row * kBoardSize + track.entries[i].col;
      const int entry = ((origin + way * i) % kLapLength + kLapLength) % kLapLength;
      uint32_t beforeLoop = 0;
      for (int step = 1; step < firstLoop; ++step) {
        beforeLoop |= uint32_t{1} << (((entry + way * step) % kLapLength + kLapLength) % kLapLength);
      }
      table.walks[cell][table.count[cell]++] = {static_cast<int8_t>(circuit), static_cast<int8_t>(entry),
                                                static_cast<int8_t>(way > 0 ? 1 : 0),
                                                static_cast<int8_t>(firstLoop), beforeLoop};
    }
  }
  return table;
}

inline constexpr CaptureWalks kCaptureWalks = makeCaptureWalks();

// Each walk, found by its circuit, start entry and way: slot[circuit][entry]
// [forward] is its place in its square's list. Every walk passes, before its
// first loop, exactly the entries of its ring side that lie beyond its start
// (checked when the table is built), so only the first piece of a side can
// walk backward and only the last one forward.
struct WalkSlots {
  int8_t slot[2][kLapLength][2];
};

constexpr WalkSlots makeWalkSlots(const CaptureWalks& table) {
  WalkSlots t{};
  for (auto& circuit : t.slot) {
    for (auto& entry : circuit) entry[0] = entry[1] = -1;
  }
  for (int cell = 0; cell < kCellCount; ++cell) {
    for (int s = 0; s < table.count[cell]; ++s) {
      const CaptureWalk& w = table.walks[cell][s];
      const int sideStart = w.entry - w.entry % 6;
      uint32_t beyond = 0;
      for (int k = sideStart; k < sideStart + 6; ++k) {
        if (w.forward != 0 ? k > w.entry : k < w.entry) beyond |= uint32_t{1} << k;
      }
      if (w.beforeLoop != beyond) throw "a walk meets a loop inside its side";
      if (t.slot[w.circuit][w.entry][w.forward] != -1) throw "two walks share a start";
      t.slot[w.circuit][w.entry][w.forward] = static_cast<int8_t>(s);
    }
  }
  for (const auto& circuit : t.slot) {
    for (const auto& entry : circuit) {
      if (entry[0] < 0 || entry[1] < 0) throw "a ring entry without both walks";
    }
  }
  return t;
}

inline constexpr WalkSlots kWalkSlots = makeWalkSlots(kCaptureWalks);

// The ring entry where walk takes a piece, or -1: occupied holds the
// walk's ring (24 bits) with the moving piece's own entries cleared. The
// piece taken may be of either colour; the caller checks that it is an
// enemy.
inline int captureEntry(uint32_t occupied, const CaptureWalk& walk) {
  // Most walks meet a piece before any loop.
  if ((occupied & walk.beforeLoop) != 0) return -1;
  const uint64_t doubled = occupied | (uint64_t{occupied} << kLapLength);
  if (walk.forward != 0) {
    // Bit j: the entry j + 1 steps ahead.
    const uint32_t ahead = static_cast<uint32_t>(doubled >> (walk.entry + 1)) & kLapBits;
    if (ahead == 0) return -1;
    const int j = std::countr_zero(ahead);
    if (j + 1 < walk.firstLoop) return -1;
    const int entry = walk.entry + 1 + j;
    return entry >= kLapLength ? entry - kLapLength : entry;
  }
  // Bit j: the entry 24 - j steps behind.
  const uint32_t behind = static_cast<uint32_t>(doubled >> walk.entry) & kLapBits;
  if (behind == 0) return -1;
  const int j = 31 - std::countl_zero(behind);
  if (kLapLength - j < walk.firstLoop) return -1;
  const int entry = walk.entry + j;
  return entry >= kLapLength ? entry - kLapLength : entry;
}

// The king steps of a square as a direction mask: bit d for stepDirections
// entry d. A square's surroundings are read from a window of the empty
// mask shifted so that the square is bit 7 (offsets -7..+7 are bits 0..14).
struct StepDirectionTables {
  uint8_t onBoard[kCellCount];      // directions that stay on the board
  int8_t offset[kDirectionCount];   // cell offset of each direction
};

constexpr StepDirectionTables makeStepDirectionTables() {
  StepDirectionTables t{};
  for (int d = 0; d < kDirectionCount; ++d) {
    t.offset[d] = static_cast<int8_t>(stepDirections.dr[d] * kBoardSize + stepDirections.dc[d]);
  }
  for (int cell = 0; cell < kCellCount; ++cell) {
    for (int d = 0; d < kDirectionCount; ++d) {
      if (inBounds(cell / kBoardSize + stepDirections.dr[d], cell % kBoardSize + stepDirections.dc[d])) {
        t.onBoard[cell] |= static_cast<uint8_t>(1u << d);
      }
    }
  }
  // The window reading below relies on this direction order.
  constexpr int8_t kExpected[kDirectionCount] = {7, 6, 5, -1, -7, -6, -5, 1};
  for (int d = 0; d < kDirectionCount; ++d) {
    if (t.offset[d] != kExpected[d]) throw "step directions changed";
  }
  return t;
}

inline constexpr StepDirectionTables kStepDirections = makeStepDirectionTables();

// The directions in which the piece on cell can step onto an empty square.
inline uint32_t emptyStepDirections(CellMask empty, int cell) {
  const uint32_t w = static_cast<uint32_t>((empty << 7) >> cell);  // bit 7 + k: offset k
  const uint32_t dirs = ((w >> 14) & 1u) | ((w >> 12) & 2u) | ((w >> 10) & 4u) |  // +7, +6, +5
                        ((w >> 3) & 8u) |                                          // -1
                        ((w & 7u) << 4) |                                          // -7, -6, -5
                        ((w >> 1) & 128u);                                         // +1
  return dirs & kStepDirections.onBoard[cell];
}

}  // namespace tovrane
