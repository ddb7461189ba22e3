#include "rules/circuits.h"

#include <gtest/gtest.h>

#include <map>

namespace tovrane {
namespace {

struct NamedTrack {
  const char* name;
  const CircuitTrack* track;
  bool small;
};
const NamedTrack kTracks[] = {{"smallTrackA", &smallTrackA, true},
                              {"smallTrackB", &smallTrackB, true},
                              {"largeTrackA", &largeTrackA, false},
                              {"largeTrackB", &largeTrackB, false}};

Square ringEntry(const CircuitRing& ring, int k) { return {ring.rows[k], ring.cols[k]}; }

bool isCorner(Square s) { return (s.row == 0 || s.row == 5) && (s.col == 0 || s.col == 5); }

TEST(Circuits, TrackOrderIsSmallAThenSmallBThenLargeAThenLargeB) {
  EXPECT_EQ(kCaptureTracks[0], &smallTrackA);
  EXPECT_EQ(kCaptureTracks[1], &smallTrackB);
  EXPECT_EQ(kCaptureTracks[2], &largeTrackA);
  EXPECT_EQ(kCaptureTracks[3], &largeTrackB);
}

TEST(Circuits, SecondLapRepeatsFirst) {
  for (const NamedTrack& t : kTracks) {
    for (int k = 0; k < kLapLength; ++k) {
      EXPECT_EQ(t.track->entries[k + 24], t.track->entries[k]) << t.name << " entry " << k;
    }
  }
}

TEST(Circuits, TrackBIsTrackAReversed) {
  for (int k = 0; k < kLapLength; ++k) {
    EXPECT_EQ(smallTrackB.entries[k], smallTrackA.entries[23 - k]) << k;
    EXPECT_EQ(largeTrackB.entries[k], largeTrackA.entries[23 - k]) << k;
  }
}

TEST(Circuits, RingsStartAtEntryEighteenOfTheATrack) {
  for (int k = 0; k < kLapLength; ++k) {
    EXPECT_EQ(ringEntry(smallRing, k), smallTrackA.entries[(k + 18) % 24]) << k;
    EXPECT_EQ(ringEntry(largeRing, k), largeTrackA.entries[(k + 18) % 24]) << k;
  }
}

TEST(Circuits, LoopPassagesAreExactlyAtSideEnds) {
  for (const NamedTrack& t : kTracks) {
    for (int k = 0; k + 1 < kTrackLength; ++k) {
      const bool expected = k % 6 == 5;
      EXPECT_EQ(isLoopPassage(t.track->entries[k], t.track->entries[k + 1]), expected)
          << t.name << " step " << k;
      // A non-loop step moves one square along a line.
      if (!expected) {
        const int dr = std::abs(t.track->entries[k].row - t.track->entries[k + 1].row);
        const int dc = std::abs(t.track->entries[k].col - t.track->entries[k + 1].col);
        EXPECT_EQ(dr + dc, 1) << t.name << " step " << k;
      }
    }
  }
  for (const CircuitRing* ring : {&smallRing, &largeRing}) {
    for (int k = 0; k < kLapLength; ++k) {
      const bool expected = k % 6 == 5;
      EXPECT_EQ(isLoopPassage(ringEntry(*ring, k), ringEntry(*ring, (k + 1) % 24)), expected) << k;
    }
  }
}

TEST(Circuits, EachLapCoversItsCircuitWithCrossingPointsTwice) {
  for (const NamedTrack& t : kTracks) {
    const int lineA = t.small ? 1 : 2;
    const int lineB = t.small ? 4 : 3;
    std::map<std::pair<int, int>, int> seen;
    for (int k = 0; k < kLapLength; ++k) {
      const Square s = t.track->entries[k];
      EXPECT_FALSE(isCorner(s)) << t.name << " entry " << k;
      const bool onRow = s.row == lineA || s.row == lineB;
      const bool onCol = s.col == lineA || s.col == lineB;
      EXPECT_TRUE(onRow || onCol) << t.name << " entry " << k;
      ++seen[{s.row, s.col}];
    }
    EXPECT_EQ(seen.size(), 20u) << t.name;
    for (const auto& [sq, n] : seen) {
      const bool crossing = (sq.first == lineA || sq.first == lineB) && (sq.second == lineA || sq.second == lineB);
      EXPECT_EQ(n, crossing ? 2 : 1) << t.name << " (" << sq.first << "," << sq.second << ")";
    }
  }
}

TEST(Circuits, CornerLoopsJoinTheListedSquares) {
  // small: (0,1)-(1,0), (0,4)-(1,5), (4,5)-(5,4), (4,0)-(5,1)
  EXPECT_EQ(smallTrackA.entries[17], (Square{0, 1}));
  EXPECT_EQ(smallTrackA.entries[18], (Square{1, 0}));
  EXPECT_EQ(smallTrackA.entries[23], (Square{1, 5}));
  EXPECT_EQ(smallTrackA.entries[24], (Square{0, 4}));
  EXPECT_EQ(smallTrackA.entries[5], (Square{5, 4}));
  EXPECT_EQ(smallTrackA.entries[6], (Square{4, 5}));
  EXPECT_EQ(smallTrackA.entries[11], (Square{4, 0}));
  EXPECT_EQ(smallTrackA.entries[12], (Square{5, 1}));
  // large: (0,2)-(2,0), (0,3)-(2,5), (3,5)-(5,3), (3,0)-(5,2)
  EXPECT_EQ(largeTrackA.entries[17], (Square{0, 2}));
  EXPECT_EQ(largeTrackA.entries[18], (Square{2, 0}));
  EXPECT_EQ(largeTrackA.entries[23], (Square{2, 5}));
  EXPECT_EQ(largeTrackA.entries[24], (Square{0, 3}));
  EXPECT_EQ(largeTrackA.entries[5], (Square{5, 3}));
  EXPECT_EQ(largeTrackA.entries[6], (Square{3, 5}));
  EXPECT_EQ(largeTrackA.entries[11], (Square{3, 0}));
  EXPECT_EQ(largeTrackA.entries[12], (Square{5, 2}));
}

TEST(Circuits, CrossingPointEntriesAreWhereTheTablesSay) {
  auto at = [](const CircuitTrack& t, int k) { return t.entries[k]; };
  EXPECT_EQ(at(smallTrackA, 16), (Square{1, 1}));
  EXPECT_EQ(at(smallTrackA, 19), (Square{1, 1}));
  EXPECT_EQ(at(smallTrackB, 4), (Square{1, 1}));
  EXPECT_EQ(at(smallTrackB, 7), (Square{1, 1}));
  EXPECT_EQ(at(largeTrackB, 15), (Square{3, 3}));
  EXPECT_EQ(at(largeTrackB, 20), (Square{3, 3}));
  EXPECT_EQ(ringEntry(smallRing, 1), (Square{1, 1}));
  EXPECT_EQ(ringEntry(smallRing, 22), (Square{1, 1}));
  EXPECT_EQ(ringEntry(largeRing, 9), (Square{3, 3}));
  EXPECT_EQ(ringEntry(largeRing, 14), (Square{3, 3}));
  EXPECT_EQ(ringEntry(largeRing, 15), (Square{3, 2}));
  EXPECT_EQ(ringEntry(largeRing, 20), (Square{3, 2}));
}

TEST(Circuits, StepDirectionsTurnClockwiseFromDownRight) {
  const Square expected[8] = {{3, 3}, {3, 2}, {3, 1}, {2, 1}, {1, 1}, {1, 2}, {1, 3}, {2, 3}};
  for (int d = 0; d < kDirectionCount; ++d) {
    EXPECT_EQ((Square{2 + stepDirections.dr[d], 2 + stepDirections.dc[d]}), expected[d]) << d;
  }
}

}  // namespace
}  // namespace tovrane
