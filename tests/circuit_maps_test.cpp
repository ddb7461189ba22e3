#include "eval/circuit_maps.h"

#include <gtest/gtest.h>

#include "rules/circuits.h"
#include "tests/map_util.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

using test::boardWith;
using test::mapOf;
using test::mapText;

struct Maps {
  ThreatMap threat;
  BalanceMap balance;
};

Maps mapsOf(const Board& board) {
  Maps maps;
  buildCircuitMaps(board, maps.threat, maps.balance);
  return maps;
}

// ---------------------------------------------------------------------------
// A second, slow implementation written entry by entry from the rules, with
// the per-side parameters as literal data, to check the fast one against.

struct SideRule {
  EdgeDirection backwardTest;
  int backwardStart;
  int backwardSkips[3];
  EdgeDirection forwardTest;
  int forwardStart;
  int forwardSkips[3];
};

// [circuit][side]: small then large; sides run row right, column down, row
// left, column up.
constexpr SideRule kSideRules[2][4] = {
    {{kEdgeLeft, 23, {16, 10, 4}, kEdgeRight, 6, {13, 19, 1}},
     {kEdgeUp, 5, {22, 16, 10}, kEdgeDown, 12, {19, 1, 7}},
     {kEdgeRight, 11, {4, 22, 16}, kEdgeLeft, 18, {1, 7, 13}},
     {kEdgeDown, 17, {10, 4, 22}, kEdgeUp, 0, {7, 13, 19}}},
    {{kEdgeLeft, 23, {15, 9, 3}, kEdgeRight, 6, {14, 20, 2}},
     {kEdgeUp, 5, {21, 15, 9}, kEdgeDown, 12, {20, 2, 8}},
     {kEdgeRight, 11, {3, 21, 15}, kEdgeLeft, 18, {2, 8, 14}},
     {kEdgeDown, 17, {9, 3, 21}, kEdgeUp, 0, {8, 14, 20}}},
};

Maps referenceMaps(const Board& board) {
  Maps maps{};
  for (int circuit = 0; circuit < 2; ++circuit) {
    const CircuitRing& ring = circuit == 0 ? smallRing : largeRing;
    const bool merges = circuit == 1;
    auto colourAt = [&](int k) {
      const int32_t v = board.at(ring.rows[k], ring.cols[k]);
      return v == kBlack ? 1 : (v == kWhite ? -1 : 0);
    };
    for (int side = 0; side < 4; ++side) {
      const SideRule& rule = kSideRules[circuit][side];
      for (int i = 6 * side; i < 6 * side + 6; ++i) {
        int32_t& threat = maps.threat.at(ring.rows[i], ring.cols[i]);
        int32_t& balance = maps.balance.at(ring.rows[i], ring.cols[i]);
        auto record = [&](int colour, bool merge) {
          if (!merge) {
            threat = colour;
          } else {
            threat = (threat == 0 || threat == colour) ? colour : 2;
          }
        };
        // Returns the entry of the piece met, or i when none.
        auto scan = [&](int start, int step) {
          int k = start;
          while (k != i) {
            if (colourAt(k) != 0) return k;
            k = (k + step + 24) % 24;
          }
          return i;
        };
        auto tally = [&](int from, int step, const int (&skips)[3]) {
          for (int k = from; k != i; k = (k + step + 24) % 24) {
            if (k != skips[0] && k != skips[1] && k != skips[2]) balance += colourAt(k);
          }
        };
        const bool backwardOpen = lineClearToEdge(board, ring.rows[i], ring.cols[i], rule.backwardTest);
        const bool forwardOpen = lineClearToEdge(board, ring.rows[i], ring.cols[i], rule.forwardTest);
        if (backwardOpen) {
          const int met = scan(rule.backwardStart, -1);
          if (met != i) record(colourAt(met), merges);
          tally(met, -1, rule.backwardSkips);
          if (forwardOpen && circuit == 0) {
            if (colourAt(rule.forwardStart) != 0) record(colourAt(rule.forwardStart), true);
          } else if (forwardOpen) {
            const int ahead = scan(rule.forwardStart, +1);
            if (ahead != i) record(colourAt(ahead), true);
          }
        } else if (forwardOpen) {
          const int met = scan(rule.forwardStart, +1);
          if (met != i) record(colourAt(met), merges);
          tally(met, +1, rule.forwardSkips);
        }
      }
    }
  }
  return maps;
}

// ---------------------------------------------------------------------------

TEST(LineClearToEdge, EdgeSquaresAreClearTowardsTheirEdge) {
  const Board full = test::initialBoard();
  EXPECT_TRUE(lineClearToEdge(full, 1, 0, kEdgeLeft));
  EXPECT_TRUE(lineClearToEdge(full, 0, 4, kEdgeUp));
  EXPECT_TRUE(lineClearToEdge(full, 5, 2, kEdgeDown));
  EXPECT_TRUE(lineClearToEdge(full, 3, 5, kEdgeRight));
  EXPECT_FALSE(lineClearToEdge(full, 1, 0, kEdgeRight));
}

TEST(LineClearToEdge, LooksOnlyBeyondTheSquareAndAlongOneDirection) {
  // The square itself holds a piece and pieces stand on the other three
  // sides of it; only the squares towards the chosen edge matter.
  Board board = boardWith({{2, 2, kBlack}, {2, 1, kWhite}, {1, 2, kBlack}, {3, 2, kWhite}});
  EXPECT_TRUE(lineClearToEdge(board, 2, 2, kEdgeRight));
  EXPECT_FALSE(lineClearToEdge(board, 2, 2, kEdgeLeft));
  EXPECT_FALSE(lineClearToEdge(board, 2, 2, kEdgeUp));
  EXPECT_FALSE(lineClearToEdge(board, 2, 2, kEdgeDown));
  // A piece on the edge square itself blocks.
  board = boardWith({{2, 5, kWhite}});
  EXPECT_FALSE(lineClearToEdge(board, 2, 0, kEdgeRight));
  EXPECT_TRUE(lineClearToEdge(board, 2, 0, kEdgeUp));
}

TEST(CircuitMaps, EmptyBoardAndCornerPiecesLeaveBothMapsZero) {
  const SquareMap zero{};
  const Maps empty = mapsOf(Board{});
  EXPECT_EQ(empty.threat, zero);
  EXPECT_EQ(empty.balance, zero);
  const Maps corners = mapsOf(boardWith({{0, 0, kBlack}, {0, 5, kWhite}, {5, 0, kBlack}, {5, 5, kWhite}}));
  EXPECT_EQ(corners.threat, zero) << mapText(corners.threat);
  EXPECT_EQ(corners.balance, zero) << mapText(corners.balance);
}

TEST(CircuitMaps, RebuildClearsWhatTheLastCallLeft) {
  ThreatMap threat;
  BalanceMap balance;
  buildCircuitMaps(test::initialBoard(), threat, balance);
  buildCircuitMaps(Board{}, threat, balance);
  EXPECT_EQ(threat, SquareMap{});
  EXPECT_EQ(balance, SquareMap{});
}

TEST(CircuitMaps, LoneBlackPieceOnSmallCrossingPoint) {
  // Every small-circuit square is reached, (1,1) too through its other
  // entry; the tally counts the piece once or, past both entries, twice.
  const Maps maps = mapsOf(boardWith({{1, 1, kBlack}}));
  EXPECT_EQ(maps.threat, mapOf({0, 1, 0, 0, 1, 0,  //
                                1, 1, 1, 1, 1, 1,  //
                                0, 1, 0, 0, 1, 0,  //
                                0, 1, 0, 0, 1, 0,  //
                                1, 1, 1, 1, 1, 1,  //
                                0, 1, 0, 0, 1, 0}))
      << mapText(maps.threat);
  EXPECT_EQ(maps.balance, mapOf({0, 2, 0, 0, 1, 0,  //
                                 2, 2, 1, 1, 2, 1,  //
                                 0, 1, 0, 0, 1, 0,  //
                                 0, 1, 0, 0, 1, 0,  //
                                 1, 2, 1, 1, 2, 1,  //
                                 0, 1, 0, 0, 1, 0}))
      << mapText(maps.balance);
}

TEST(CircuitMaps, SmallCircuitLaterHandlingReplaces) {
  // (1,1): row 1 meets black backward (1), then column 1 meets white
  // forward and replaces it (-1).
  const Maps maps = mapsOf(boardWith({{2, 1, kBlack}, {1, 3, kWhite}}));
  EXPECT_EQ(maps.threat.at(1, 1), -1);
  EXPECT_EQ(maps.balance.at(1, 1), 0);
}

TEST(CircuitMaps, SmallCircuitSecondLookSeesOnlyTheForwardStartSquare) {
  // (1,0) is open both ways; forward, (0,4) is empty, so the black piece
  // further on is not seen.
  const Maps maps = mapsOf(boardWith({{3, 1, kWhite}, {2, 4, kBlack}}));
  EXPECT_EQ(maps.threat.at(1, 0), -1);
  EXPECT_EQ(maps.balance.at(1, 0), 0);
  // With a piece on the forward start square itself, it is merged in.
  const Maps seen = mapsOf(boardWith({{3, 1, kWhite}, {0, 4, kBlack}}));
  EXPECT_EQ(seen.threat.at(1, 0), 2);
  EXPECT_EQ(seen.balance.at(1, 0), 0);  // white -1, black +1 on the backward tally
}

TEST(CircuitMaps, LargeCircuitMergesBothHandlings) {
  const Maps maps = mapsOf(boardWith({{3, 2, kBlack}, {2, 4, kWhite}}));
  EXPECT_EQ(maps.threat.at(2, 2), 2);
  EXPECT_EQ(maps.balance.at(2, 2), 0);
}

TEST(CircuitMaps, LargeCircuitOpenBothWaysScansForwardWithoutTally) {
  // (2,0) is on an empty row 2, open both ways. Backward it meets black on
  // (1,2) (entry 22) and tallies entries 22 down to 1: +1 - 1 - 1. Forward it
  // meets white on (0,3) (entry 6) and merges; a forward tally would add
  // another -1.
  const Maps maps = mapsOf(boardWith({{1, 2, kBlack}, {0, 3, kWhite}, {1, 3, kWhite}}));
  EXPECT_EQ(maps.threat.at(2, 0), 2);
  EXPECT_EQ(maps.balance.at(2, 0), -1);
}

TEST(CircuitMaps, TallyCountsThePieceThatStoppedTheScan) {
  // A lone white piece on (4,3): its own scans never reach it, so every
  // other square it reaches gets -1 from the tally that starts on it.
  const Maps maps = mapsOf(boardWith({{4, 3, kWhite}}));
  EXPECT_EQ(maps.threat.at(1, 0), -1);
  EXPECT_EQ(maps.balance.at(1, 0), -1);
  EXPECT_EQ(maps.threat.at(2, 0), -1);
  EXPECT_EQ(maps.balance.at(2, 0), -1);
}

TEST(CircuitMaps, InitialPosition) {
  const Maps maps = mapsOf(test::initialBoard());
  EXPECT_EQ(maps.threat, mapOf({0,  1,  1,  1,  1,  0,   //
                                1,  0,  0,  0,  0,  1,   //
                                1,  1,  1,  1,  1,  1,   //
                                -1, -1, -1, -1, -1, -1,  //
                                -1, 0,  0,  0,  0,  -1,  //
                                0,  -1, -1, -1, -1, 0}))
      << mapText(maps.threat);
  EXPECT_EQ(maps.balance, mapOf({0, 0, -1, -1, 0, 0,  //
                                 0, 0, 0,  0,  0, 0,  //
                                 0, 0, 0,  0,  0, 0,  //
                                 0, 0, 0,  0,  0, 0,  //
                                 0, 0, 0,  0,  0, 0,  //
                                 0, 0, 1,  1,  0, 0}))
      << mapText(maps.balance);
}

TEST(CircuitMaps, MatchesLiteralReferenceOnHandPickedPositions) {
  const Board boards[] = {
      Board{},
      test::initialBoard(),
      boardWith({{1, 1, kBlack}}),
      boardWith({{2, 1, kBlack}, {1, 3, kWhite}}),
      boardWith({{3, 1, kWhite}, {2, 4, kBlack}}),
      boardWith({{3, 2, kBlack}, {2, 4, kWhite}}),
      boardWith({{1, 0, kBlack}, {0, 2, kWhite}, {1, 2, kWhite}}),
      boardWith({{2, 0, kWhite}, {2, 2, kBlack}, {3, 4, kBlack}}),
  };
  for (const Board& board : boards) {
    const Maps fast = mapsOf(board);
    const Maps slow = referenceMaps(board);
    EXPECT_EQ(fast.threat, slow.threat) << boardDigits(board) << "\n" << mapText(fast.threat) << "\n"
                                        << mapText(slow.threat);
    EXPECT_EQ(fast.balance, slow.balance) << boardDigits(board) << "\n" << mapText(fast.balance) << "\n"
                                          << mapText(slow.balance);
  }
}

TEST(CircuitMaps, MatchesLiteralReferenceOnRandomGames) {
  int compared = 0;
  for (const Board& board : test::randomGamePositions(11, 60)) {
    const Maps fast = mapsOf(board);
    const Maps slow = referenceMaps(board);
    ASSERT_EQ(fast.threat, slow.threat) << boardDigits(board) << "\n" << mapText(fast.threat) << "\n"
                                        << mapText(slow.threat);
    ASSERT_EQ(fast.balance, slow.balance) << boardDigits(board) << "\n" << mapText(fast.balance) << "\n"
                                          << mapText(slow.balance);
    ++compared;
  }
  EXPECT_GT(compared, 1000);
}

TEST(CircuitMaps, MatchesLiteralReferenceOnSparseRandomBoards) {
  // Few pieces scattered anywhere: many lines open both ways, many long scans.
  std::mt19937 rng(5);
  for (int n = 0; n < 3000; ++n) {
    Board board{};
    const int pieces = 1 + static_cast<int>(rng() % 6);
    for (int p = 0; p < pieces; ++p) board.cells[rng() % kCellCount] = 1 + static_cast<int32_t>(rng() % 2);
    const Maps fast = mapsOf(board);
    const Maps slow = referenceMaps(board);
    ASSERT_EQ(fast.threat, slow.threat) << boardDigits(board);
    ASSERT_EQ(fast.balance, slow.balance) << boardDigits(board);
  }
}

}  // namespace
}  // namespace tovrane
