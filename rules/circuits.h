#pragma once
// The two capture circuits as constant tables. A circuit is two rows and two
// columns joined near the corners by loops into one closed path:
//   small circuit: rows 1 and 4, columns 1 and 4;
//   large circuit: rows 2 and 3, columns 2 and 3.
// The tables are written out literally (one lap each); the tests check the
// identities that tie them together, so a typo cannot hide.

#include <cstdint>

namespace tovrane {

struct Square {
  int32_t row;
  int32_t col;
  bool operator==(const Square&) const = default;
};

constexpr int kLapLength = 24;
constexpr int kTrackLength = 48;

// Two consecutive entries are either one step apart along a line or the two
// ends of a corner loop; only a loop changes both coordinates.
constexpr bool isLoopPassage(Square from, Square to) {
  return from.row != to.row && from.col != to.col;
}

// A track is one lap followed by the same lap again, so a walk from any entry
// of the first lap can run a full lap by plain increasing index.
struct CircuitTrack {
  Square entries[kTrackLength];
};

// A ring is one lap read cyclically, stored as separate row and column arrays.
struct CircuitRing {
  int32_t rows[kLapLength];
  int32_t cols[kLapLength];
};

namespace detail {

struct Lap {
  Square entries[kLapLength];
};

constexpr CircuitTrack trackFromLap(const Lap& lap) {
  CircuitTrack track{};
  for (int k = 0; k < kTrackLength; ++k) track.entries[k] = lap.entries[k % kLapLength];
  return track;
}

// column 4 down, row 4 left, column 1 up, row 1 right
constexpr Lap kSmallLapA{{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}, {5, 4},
                          {4, 5}, {4, 4}, {4, 3}, {4, 2}, {4, 1}, {4, 0},
                          {5, 1}, {4, 1}, {3, 1}, {2, 1}, {1, 1}, {0, 1},
                          {1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5}}};
// row 1 left, column 1 down, row 4 right, column 4 up
constexpr Lap kSmallLapB{{{1, 5}, {1, 4}, {1, 3}, {1, 2}, {1, 1}, {1, 0},
                          {0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1},
                          {4, 0}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {4, 5},
                          {5, 4}, {4, 4}, {3, 4}, {2, 4}, {1, 4}, {0, 4}}};
// column 3 down, row 3 left, column 2 up, row 2 right
constexpr Lap kLargeLapA{{{0, 3}, {1, 3}, {2, 3}, {3, 3}, {4, 3}, {5, 3},
                          {3, 5}, {3, 4}, {3, 3}, {3, 2}, {3, 1}, {3, 0},
                          {5, 2}, {4, 2}, {3, 2}, {2, 2}, {1, 2}, {0, 2},
                          {2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}}};
// row 2 left, column 2 down, row 3 right, column 3 up
constexpr Lap kLargeLapB{{{2, 5}, {2, 4}, {2, 3}, {2, 2}, {2, 1}, {2, 0},
                          {0, 2}, {1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2},
                          {3, 0}, {3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5},
                          {5, 3}, {4, 3}, {3, 3}, {2, 3}, {1, 3}, {0, 3}}};

}  // namespace detail

inline constexpr CircuitTrack smallTrackA = detail::trackFromLap(detail::kSmallLapA);
inline constexpr CircuitTrack smallTrackB = detail::trackFromLap(detail::kSmallLapB);
inline constexpr CircuitTrack largeTrackA = detail::trackFromLap(detail::kLargeLapA);
inline constexpr CircuitTrack largeTrackB = detail::trackFromLap(detail::kLargeLapB);

// The order in which the move generator walks the tracks.
constexpr int kTrackCount = 4;
inline constexpr const CircuitTrack* kCaptureTracks[kTrackCount] = {
    &smallTrackA, &smallTrackB, &largeTrackA, &largeTrackB};

// Each ring starts at the left end of its circuit's upper row and runs the
// way of the circuit's A track: row right, column down, row left, column up.
inline constexpr CircuitRing smallRing{
    {1, 1, 1, 1, 1, 1, 0, 1, 2, 3, 4, 5, 4, 4, 4, 4, 4, 4, 5, 4, 3, 2, 1, 0},
    {0, 1, 2, 3, 4, 5, 4, 4, 4, 4, 4, 4, 5, 4, 3, 2, 1, 0, 1, 1, 1, 1, 1, 1}};
inline constexpr CircuitRing largeRing{
    {2, 2, 2, 2, 2, 2, 0, 1, 2, 3, 4, 5, 3, 3, 3, 3, 3, 3, 5, 4, 3, 2, 1, 0},
    {0, 1, 2, 3, 4, 5, 3, 3, 3, 3, 3, 3, 5, 4, 3, 2, 1, 0, 2, 2, 2, 2, 2, 2}};

// One-square steps, starting down-right and turning clockwise (row 0 on top).
constexpr int kDirectionCount = 8;
struct StepDirections {
  int32_t dr[kDirectionCount];
  int32_t dc[kDirectionCount];
};
inline constexpr StepDirections stepDirections{{+1, +1, +1, 0, -1, -1, -1, 0},
                                               {+1, 0, -1, -1, -1, 0, +1, +1}};

}  // namespace tovrane
