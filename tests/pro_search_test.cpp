// engine-pro's search: proved wins at their shortest distance against a
// plain reference search, the table's size, the clock, the game history.

#include "search/pro_search.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "engine/pro_options.h"
#include "rules/move_generator.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

// Plain negamax over every legal move: kProWinScore - ply for a proved win
// within depth plies, the negative for a proved loss, 0 otherwise.
int32_t referenceProof(Board& board, Side side, int depth, int ply) {
  MoveList list;
  list.generateMoves(board, side);
  if (list.lastIndex < 0) return -(kProWinScore - ply);
  if (depth == 0) return 0;
  int32_t best = -kProWinScore - 1;
  for (int i = 0; i <= list.lastIndex; ++i) {
    const Move m = list.moves[i];
    Board next = board;
    applyMove(next, m);
    best = std::max(best, -referenceProof(next, opponent(side), depth - 1, ply + 1));
    if (best == kProWinScore - ply - 1) break;  // nothing beats winning at once
  }
  return best;
}

// Random positions with few pieces, where wins within a few plies are common.
Board randomSparseBoard(std::mt19937& rng) {
  Board board{};
  const int white = 1 + static_cast<int>(rng() % 3);
  const int black = 1 + static_cast<int>(rng() % 3);
  for (int n = 0; n < white + black; ++n) {
    int cell = 0;
    do {
      cell = static_cast<int>(rng() % kCellCount);
    } while (board.cells[cell] != kEmpty);
    board.cells[cell] = n < white ? kWhite : kBlack;
  }
  return board;
}

// Without pruning a fixed-depth search proves every win and loss within its
// depth at the shortest distance. The shipped pruning may leave a proof for
// a deeper search to find, but what it claims is true: a win or loss within
// the depth is one the reference proves for the same side, no nearer than
// the reference's, and the move played keeps a proved win.
TEST(ProSearch, ProvesWinsAndLossesAtTheShortestDistance) {
  constexpr int kDepth = 4;
  // The shipped pruning, then every switchable part on as well.
  for (const int variant : {0, 1, 2}) {
    const bool pruning = variant > 0;
    std::mt19937 rng(12);
    ProSearch pro(nullptr, 1);
    pro.setFixedDepth(kDepth);
    ProSelectivity plain{};
    plain.lateMoveReductions = plain.nullMovePruning = plain.reverseFutility = false;
    plain.futility = plain.lateMovePruning = false;
    ProSelectivity everything{};
    everything.logReductions = everything.nullMoveGuard = everything.quiescenceDelta = true;
    everything.internalReduction = everything.quiescenceTable = everything.safeCapturesFirst = true;
    everything.boundedHistory = true;
    if (!pruning) pro.setSelectivity(plain);
    if (variant == 2) pro.setSelectivity(everything);
    int proved = 0;
    int found = 0;
    for (int n = 0; n < 300; ++n) {
      Board board = randomSparseBoard(rng);
      const Side side = rng() % 2 == 0 ? kWhite : kBlack;
      const int32_t expected = referenceProof(board, side, kDepth, 0);
      const ProResult result = pro.search(board, side);
      const bool claimed = std::abs(result.score) + kDepth >= kProWinScore;
      if (expected == 0) {
        EXPECT_FALSE(claimed) << boardDigits(board) << " side " << side << " variant " << variant;
        continue;
      }
      ++proved;
      if (!pruning) {
        EXPECT_EQ(result.score, expected) << boardDigits(board) << " side " << side;
      } else if (claimed) {
        EXPECT_EQ(result.score > 0, expected > 0) << boardDigits(board) << " side " << side;
        EXPECT_LE(std::abs(result.score), std::abs(expected)) << boardDigits(board) << " side " << side;
      }
      if (result.score == expected) ++found;
      if (expected > 0 && claimed) {
        Board next = board;
        applyMove(next, result.move);
        EXPECT_GT(-referenceProof(next, opponent(side), kDepth - 1, 1), 0) << boardDigits(board);
      }
    }
    EXPECT_GT(proved, 50);  // the sample holds enough decided positions to mean something
    EXPECT_GT(found, proved * 9 / 10) << "variant " << variant;  // pruning misses few proofs
  }
}

TEST(ProSearch, TakesTheNearestOfTwoWins) {
  // White takes black's last piece at once; a slower win also exists.
  const Board board = test::boardWith({{1, 1, kWhite}, {1, 3, kBlack}, {4, 4, kWhite}});
  ProSearch pro(nullptr, 1);
  pro.setFixedDepth(6);
  const ProResult result = pro.search(board, kWhite);
  EXPECT_EQ(result.score, kProWinScore - 1);
  EXPECT_EQ(moveText(result.move), "1113");
}

TEST(ProSearch, TableStaysWithinItsSize) {
  for (size_t megabytes : {size_t{1}, size_t{3}, size_t{64}}) {
    TranspositionTable table(megabytes);
    EXPECT_LE(table.bytes(), megabytes * 1024 * 1024);
    EXPECT_GT(table.bytes(), megabytes * 1024 * 1024 / 2);  // a power of two close to the limit
  }
  TranspositionTable small(1);
  std::mt19937_64 rng(3);
  uint64_t lastKey = 0;
  for (size_t i = 0; i < small.entryCount() * 4; ++i) {
    lastKey = rng();
    small.store(lastKey, static_cast<int32_t>(i % 1000), Bound::kExact, static_cast<int>(i % 20), 7);
  }
  EXPECT_LE(small.bytes(), size_t{1} << 20);
  TableEntry entry{};
  ASSERT_TRUE(small.probe(lastKey, entry));  // the newest store is always kept
  EXPECT_EQ(entry.move(), 7);
  EXPECT_EQ(TranspositionTable(100000).bytes(), TranspositionTable::kMaxMegabytes * 1024 * 1024);
}

// Threads writing and reading one small table at once (run under
// ThreadSanitizer in the tsan preset): a probe finds nothing or exactly what
// was stored for its key, never half of one write and half of another.
TEST(ProSearch, TableEntriesHoldUnderConcurrentWriters) {
  TranspositionTable table(1);
  auto scoreOf = [](uint64_t key) { return static_cast<int32_t>(key % 200001) - 100000; };
  auto moveOf = [](uint64_t key) { return static_cast<uint16_t>((key >> 20) % 4095); };  // 4095: no move
  auto depthOf = [](uint64_t key) { return static_cast<int>((key >> 40) % 100); };
  std::atomic<int> wrong{0};
  std::atomic<int> found{0};
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&, t] {
      std::mt19937_64 rng(100 + t);
      for (int i = 0; i < 200000; ++i) {
        // Few keys, so that the threads meet in the same buckets.
        const uint64_t key = rng() % 50000 * 0x9E3779B97F4A7C15ull;
        if (i % 2 == 0) {
          table.store(key, scoreOf(key), Bound::kExact, depthOf(key), moveOf(key));
        } else if (TableEntry e{}; table.probe(key, e)) {
          ++found;
          if (e.score != scoreOf(key) || e.move() != moveOf(key) || e.depth() != depthOf(key)) ++wrong;
        }
      }
    });
  }
  for (std::thread& t : writers) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(found.load(), 1000);
}

// Several threads on one search: a legal move, the deepest iteration's, and
// a proof as sound as one thread's.
TEST(ProSearch, ThreadsShareTheTableAndPlayALegalMove) {
  std::mt19937 rng(5);
  ProSearch pro(nullptr, 4);
  pro.setThreads(3);
  pro.setNodeLimit(20000);
  pro.setTimePlan(kRunawaySeconds, kRunawaySeconds);
  for (int n = 0; n < 30; ++n) {
    Board board = randomSparseBoard(rng);
    const Side side = rng() % 2 == 0 ? kWhite : kBlack;
    MoveList list;
    list.generateMoves(board, side);
    const ProResult result = pro.search(board, side);
    ASSERT_EQ(result.hasMove, list.lastIndex >= 0);
    if (!result.hasMove) continue;
    EXPECT_TRUE(isLegalMove(board, side, result.move)) << boardDigits(board);
    if (std::abs(result.score) >= kProWinBound) {
      const int distance = kProWinScore - std::abs(result.score);
      if (distance <= 4) {
        const int32_t proved = referenceProof(board, side, distance, 0);
        EXPECT_EQ(proved > 0, result.score > 0) << boardDigits(board);
        EXPECT_NE(proved, 0) << boardDigits(board);
      }
    }
  }
}

TEST(ProSearch, SearchStoppedByTheClockStillPlaysALegalMove) {
  // Mid-game positions from random play; at 0.01 s the clock stops the
  // deepening long before the depth limit.
  const auto positions = test::randomGamePositions(5, 1);
  ProSearch pro(nullptr, 4);
  pro.setTimeBudget(0.01);
  int searched = 0;
  for (size_t i = 10; i < positions.size(); i += 7) {
    const Side side = i % 2 == 0 ? kBlack : kWhite;
    MoveList list;
    list.generateMoves(positions[i], side);
    const ProResult result = pro.search(positions[i], side);
    ASSERT_EQ(result.hasMove, list.lastIndex >= 0);
    if (!result.hasMove) continue;
    EXPECT_TRUE(isLegalMove(positions[i], side, result.move)) << boardDigits(positions[i]);
    EXPECT_LT(result.depth, kProMaxPly - 1);
    ++searched;
  }
  EXPECT_GT(searched, 3);
}

TEST(ProSearch, KnowsTheDrawByQuietPlies) {
  // White is a piece up but cannot capture at once; when the quiet run is
  // one ply from the draw, every move of white's ends in a draw (score 0)
  // unless it captures. Told nothing, the search sees white ahead.
  const Board board = test::boardWith({{0, 0, kWhite}, {5, 5, kWhite}, {2, 5, kBlack}});
  ProSearch pro(nullptr, 1);
  pro.setFixedDepth(2);
  pro.setDrawPlies(10);
  const ProResult fresh = pro.search(board, kWhite);
  EXPECT_GT(fresh.score, 0);
  pro.gameStarted(board);
  const Board shuffled = board;
  for (int i = 0; i < 9; ++i) pro.movePlayed(shuffled, i % 2 == 0 ? kWhite : kBlack);
  // Nine plies told without a capture (the same position each time: it only
  // counts the run); with white to move at ply nine, one more quiet ply draws.
  const ProResult late = pro.search(board, kWhite);
  EXPECT_EQ(late.score, 0);
}

TEST(ProSearch, PlaysForTheResultTheRulesGive) {
  // Nine quiet plies told, white to move: the tenth ends the run.
  auto afterNineQuietPlies = [](ProSearch& pro, const Board& board) {
    pro.gameStarted(board);
    for (int i = 0; i < 9; ++i) pro.movePlayed(board, i % 2 == 0 ? kWhite : kBlack);
  };
  // White a piece up: where the limit gives the game to the side with more
  // pieces, any quiet move wins at once.
  const Board ahead = test::boardWith({{0, 0, kWhite}, {5, 5, kWhite}, {2, 5, kBlack}});
  ProSearch pro(nullptr, 1);
  pro.setFixedDepth(2);
  pro.setRules(GameRules{10, RuleAward::kMorePieces, false, RuleAward::kDraw, 400, RuleAward::kMorePieces});
  afterNineQuietPlies(pro, ahead);
  EXPECT_EQ(pro.search(ahead, kWhite).score, kProWinScore - 1);

  // A side left without a move at the limit has lost, not drawn: black's
  // corner piece is walled in by white's, and white's fourth piece steps.
  const Board walled =
      test::boardWith({{0, 0, kBlack}, {0, 1, kWhite}, {1, 0, kWhite}, {1, 1, kWhite}, {5, 5, kWhite}});
  ProSearch plain(nullptr, 1);
  plain.setFixedDepth(1);
  plain.setDrawPlies(10);
  afterNineQuietPlies(plain, walled);
  const ProResult result = plain.search(walled, kWhite);
  EXPECT_EQ(result.score, kProWinScore - 1);
  EXPECT_EQ(moveText(result.move).substr(0, 2), "55");
}

TEST(ProSearch, KnowsTheSideToMoveOfASetUpStart) {
  // A game set up with white to move; after three plies told, black's
  // step back to the corner brings back the start with white to move: a
  // repetition, which the tournament rules give to black's extra piece.
  const Board start = test::boardWith({{0, 0, kWhite}, {0, 5, kWhite}, {5, 5, kBlack}, {5, 0, kBlack}, {5, 2, kBlack}});
  ProSearch pro(nullptr, 1);
  pro.setFixedDepth(1);
  pro.setRules(*rulesByName("pieces50-repetition"));
  pro.gameStarted(start, kWhite);
  pro.movePlayed(test::boardWith({{1, 1, kWhite}, {0, 5, kWhite}, {5, 5, kBlack}, {5, 0, kBlack}, {5, 2, kBlack}}), kBlack);
  pro.movePlayed(test::boardWith({{1, 1, kWhite}, {0, 5, kWhite}, {4, 4, kBlack}, {5, 0, kBlack}, {5, 2, kBlack}}), kWhite);
  const Board now = test::boardWith({{0, 0, kWhite}, {0, 5, kWhite}, {4, 4, kBlack}, {5, 0, kBlack}, {5, 2, kBlack}});
  pro.movePlayed(now, kBlack);
  const ProResult result = pro.search(now, kBlack);
  EXPECT_EQ(result.score, kProWinScore - 1);
  EXPECT_EQ(moveText(result.move).substr(0, 4), "4455");
}

TEST(ProOptions, ReadsEveryOptionAndRefusesTheRest) {
  ProOptions options;
  std::string error;
  ASSERT_TRUE(parseProOptions({"--movetime", "0.1", "--hash", "16", "--draw-plies", "60", "--depth", "4"}, options,
                              error));
  EXPECT_DOUBLE_EQ(options.moveSeconds, 0.1);
  EXPECT_EQ(options.hashMegabytes, 16u);
  EXPECT_EQ(options.drawPlies, 60);
  EXPECT_EQ(options.depth, 4);
  EXPECT_FALSE(options.help);
  ProOptions clocked;
  ASSERT_TRUE(parseProOptions({"--clock", "10+0.1", "--rules", "pieces50-repetition", "--help"}, clocked, error));
  EXPECT_DOUBLE_EQ(clocked.clock.base, 10);
  EXPECT_DOUBLE_EQ(clocked.clock.increment, 0.1);
  EXPECT_EQ(clocked.rules, *rulesByName("pieces50-repetition"));
  EXPECT_TRUE(clocked.help);
  EXPECT_FALSE(clocked.moveSecondsGiven);
  ProOptions switched;
  ASSERT_TRUE(parseProOptions({"--selectivity", "quiescence-table,-null-move,bounded-history"}, switched, error));
  EXPECT_TRUE(switched.selectivity.quiescenceTable);
  EXPECT_TRUE(switched.selectivity.boundedHistory);
  EXPECT_FALSE(switched.selectivity.nullMovePruning);
  EXPECT_TRUE(switched.selectivity.futility);
  ASSERT_TRUE(parseProOptions({"--clock", "60"}, clocked, error));
  EXPECT_DOUBLE_EQ(clocked.clock.increment, 0);
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--movetime", "0.009"}, {"--movetime", "abc"}, {"--hash", "1025"}, {"--depth"},
        {"--draw-plies", "0"}, {"-movetime", "1"}, {"--clock", "0"}, {"--clock", "1+"}, {"--clock", "+1"},
        {"--clock", "10+61"}, {"--rules", "draw50"},
        {"--selectivity", "futility,"}, {"--selectivity", "-bogus"}, {"--clock", "10", "--depth", "5"}}) {
    ProOptions untouched;
    EXPECT_FALSE(parseProOptions(bad, untouched, error)) << bad[0];
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace tovrane
