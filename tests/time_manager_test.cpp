// engine-pro's time manager against a simulated clock: whatever the search
// does within the plan, and whatever the unseen overhead up to the allowance,
// the referee's clock never runs out, and the clock is put to use.

#include "engine/time_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "search/pro_search.h"
#include "tests/test_util.h"

namespace tovrane {
namespace {

enum class Spend { kHard, kSoft, kBetween };

struct GameOnClock {
  double minLeft;    // the referee's clock, lowest after any move
  double usedShare;  // of base plus the increments received, used by the end
};

// moves moves on the clock; the search spends by spend, answering up to
// kMoveFloor after its plan, or on a busy machine a search with time to
// spend up to late seconds after it; and each move costs an unseen overhead
// up to kMoveOverhead that the referee charges and the program does not
// measure.
GameOnClock playOnClock(const ClockControl& control, Spend spend, int moves, double late, std::mt19937& random) {
  GameClock clock(control);
  double referee = control.base;
  double minLeft = referee;
  std::uniform_real_distribution<double> unit(0, 1);
  for (int m = 0; m < moves; ++m) {
    const MovePlan plan = clock.plan();
    EXPECT_GE(plan.softSeconds, 0);
    EXPECT_LE(plan.softSeconds, plan.hardSeconds);
    // Never more than what is left above the reserve.
    EXPECT_LE(plan.hardSeconds, std::max(0.0, clock.left() - clockReserve(control.base))) << "move " << m;
    double seconds = spend == Spend::kHard   ? plan.hardSeconds
                     : spend == Spend::kSoft ? plan.softSeconds
                                             : plan.softSeconds + unit(random) * (plan.hardSeconds - plan.softSeconds);
    seconds += (plan.hardSeconds > 0 ? std::max(late, kMoveFloor) : kMoveFloor) * unit(random);
    const double unseen = kMoveOverhead * unit(random);
    referee -= seconds + unseen;
    minLeft = std::min(minLeft, referee);
    referee += control.increment;
    clock.charge(seconds, plan.hardSeconds);
    // The program's own clock never shows more than the referee's.
    EXPECT_LE(clock.left(), referee + 1e-9);
  }
  const double received = control.base + moves * control.increment;
  return {minLeft, (received - referee) / received};
}

TEST(TimeManager, NeverFlagsAndUsesTheClock) {
  std::mt19937 random(7);
  const ClockControl controls[] = {{1, 0.01}, {10, 0.1}, {1, 0}, {60, 0}, {1800, 0}, {3, 2}, {0.05, 0.01}};
  for (const ClockControl& control : controls) {
    for (const Spend spend : {Spend::kHard, Spend::kSoft, Spend::kBetween}) {
      // An idle machine, and a busy one where answers come up to 40 ms late.
      for (const double late : {0.0, 0.04}) {
        SCOPED_TRACE("clock " + std::to_string(control.base) + "+" + std::to_string(control.increment) + " spend " +
                     std::to_string(static_cast<int>(spend)) + " late " + std::to_string(late));
        // 200 moves a side is the longest game the referee's default cap
        // allows. A sudden-death clock too short to pay that many moves' fixed
        // cost is planned for the game expected, then the reserve pays for
        // moves at the floor.
        const double fixedCost = kMoveOverhead + kMoveFloor;
        const bool capFits = control.base + 200 * control.increment >= 200 * fixedCost;
        const int moves = capFits ? 200 : kExpectedGameMoves + static_cast<int>(clockReserve(control.base) / fixedCost);
        const GameOnClock game = playOnClock(control, spend, moves, late, random);
        EXPECT_GT(game.minLeft, 0);
        if (control.base >= 1 && (control.increment > 0 || control.base >= 10)) {
          // Spending even only the soft limit, most of the clock goes into the game.
          EXPECT_GT(game.usedShare, 0.5);
        }
      }
    }
  }
}

TEST(TimeManager, SpendsMoreWithMoreTimeButNeverABigShareOnOneMove) {
  double previous = 0;
  for (double left = 0; left < 100; left += 0.37) {
    const MovePlan plan = planMove(left, kMinReserve, 0.1, 0, 0);
    EXPECT_GE(plan.softSeconds, previous) << left;
    previous = plan.softSeconds;
    // A lot left: at most a quarter of it (plus the increment) on one move.
    if (left > 1) {
      EXPECT_LE(plan.hardSeconds, left / 4 + 0.1) << left;
    }
  }
  // Nothing above the reserve: the search plays the first move it finds.
  const MovePlan empty = planMove(kMinReserve, kMinReserve, 0.1, 0, 0);
  EXPECT_EQ(empty.softSeconds, 0);
  EXPECT_EQ(empty.hardSeconds, 0);
  // Without an increment, the fixed cost of the moves still expected is kept back.
  EXPECT_EQ(planMove(0.4, kMinReserve, 0, 0, 0).hardSeconds, 0);
  EXPECT_GT(planMove(0.4, kMinReserve, 0, kExpectedGameMoves, 0).hardSeconds, 0);
  // Answers that came late are kept back for: the clock learns it, and forgets slowly.
  GameClock busy({10, 0.1});
  const double planned = busy.plan().hardSeconds;
  busy.charge(planned + 0.04, planned);
  EXPECT_NEAR(busy.lateness(), 0.04, 1e-12);
  EXPECT_LT(busy.plan().hardSeconds, planMove(busy.left(), clockReserve(10), 0.1, 1, 0).hardSeconds);
  busy.charge(0.01, 0.02);
  EXPECT_NEAR(busy.lateness(), 0.04 * kLatenessMemory, 1e-12);
  // A new game gives the whole base back.
  GameClock clock({5, 0});
  clock.charge(2, 2);
  EXPECT_LT(clock.left(), 3.01);
  clock.reset();
  EXPECT_EQ(clock.left(), 5);
}

// Within a move: an unsettled search (best move changing, score falling)
// may start more iterations, never past the plan's hard limit; a settled one
// keeps to the soft limit.
TEST(TimeManager, AnUnsettledSearchGoesOnLongerButNotPastTheHardLimit) {
  std::mt19937 random(21);
  std::uniform_int_distribution<int> scoreStep(-120, 120);
  for (int run = 0; run < 200; ++run) {
    const double soft = 0.001 * (1 + run % 50);
    const double hard = soft * (1 + (run % 4));
    IterationTrend trend;
    IterationTrend settled;
    int32_t score = 0;
    for (int depth = 2; depth < 30; ++depth) {
      const bool changed = random() % 3 == 0;
      const int32_t next = score + scoreStep(random);
      trend.iterationDone(changed, score, next);
      settled.iterationDone(false, score, score + 10);
      const double stretched = stretchedSoft(soft, hard, trend);
      EXPECT_GE(stretched, soft);
      EXPECT_LE(stretched, hard);
      EXPECT_EQ(stretchedSoft(soft, hard, settled), soft);
      if (hard > soft && (changed || score - next >= kSmallDrop)) {
        EXPECT_GT(stretched, soft) << depth;
      }
      // The same trend with a bigger fall never gets less time.
      IterationTrend fell = trend;
      fell.drop += kBigDrop;
      EXPECT_GE(stretchedSoft(soft, hard, fell), stretched);
      score = next;
    }
  }
}

// A sudden-death clock of one second is planned for the game expected, not
// for the longest one: its moves get real searches from the first. The
// clock is charged with each plan's soft limit (not the time measured), so
// the plans are the same on any machine.
TEST(TimeManager, OneSecondSuddenDeathSearchesPastDepthOne) {
  GameClock clock({1, 0});
  ProSearch pro(nullptr, 1);
  Board board = test::initialBoard();
  Side side = kBlack;
  pro.gameStarted(board, side);
  int deeper = 0;
  for (int m = 0; m < 20; ++m) {
    const MovePlan plan = clock.plan();
    ASSERT_GT(plan.softSeconds, 0.005) << "move " << m;
    pro.setTimePlan(plan.softSeconds, plan.hardSeconds);
    const ProResult result = pro.search(board, side);
    clock.charge(plan.softSeconds, plan.hardSeconds);
    if (!result.hasMove) break;
    deeper += result.depth > 1 ? 1 : 0;
    applyMove(board, result.move);
    side = opponent(side);
    pro.movePlayed(board, side);
  }
  EXPECT_GT(deeper, 0);
}

}  // namespace
}  // namespace tovrane
