#include "match/match_stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tovrane {
namespace {

TEST(MatchStats, EloAndExpectedScoreAreInverse) {
  EXPECT_DOUBLE_EQ(expectedScore(0), 0.5);
  // 400 Elo is odds of 10 to 1.
  EXPECT_NEAR(expectedScore(400), 10.0 / 11.0, 1e-12);
  EXPECT_NEAR(expectedScore(-400), 1.0 / 11.0, 1e-12);
  for (double elo : {-700.0, -120.5, 0.0, 33.0, 450.0}) EXPECT_NEAR(eloFromScore(expectedScore(elo)), elo, 1e-9);
  EXPECT_TRUE(std::isinf(eloFromScore(1.0)) && eloFromScore(1.0) > 0);
  EXPECT_TRUE(std::isinf(eloFromScore(0.0)) && eloFromScore(0.0) < 0);
}

TEST(MatchStats, EloEstimateWithMargin) {
  // 6 wins, 2 draws, 2 losses: mean 0.7; per-game variance
  // (6 * 0.3^2 + 2 * 0.2^2 + 2 * 0.7^2) / 10 = 0.16; standard error
  // sqrt(0.016) = 0.126491; the 95% interval 0.7 -+ 0.247918 is
  // [0.452082, 0.947918], in Elo [-33.40, 504.03], half its width 268.72.
  // The point estimate -400 log10(1 / 0.7 - 1) = 147.19.
  const EloEstimate e = estimateElo({6, 2, 2});
  EXPECT_NEAR(e.elo, 147.1907, 1e-3);
  EXPECT_NEAR(e.margin, 268.7163, 1e-3);

  // The mirror image gives the negative difference with the same margin.
  const EloEstimate mirror = estimateElo({2, 2, 6});
  EXPECT_NEAR(mirror.elo, -147.1907, 1e-3);
  EXPECT_NEAR(mirror.margin, 268.7163, 1e-3);

  // All draws: no spread at all.
  const EloEstimate even = estimateElo({0, 4, 0});
  EXPECT_DOUBLE_EQ(even.elo, 0);
  EXPECT_DOUBLE_EQ(even.margin, 0);

  // All wins: the difference and the interval's upper end are unbounded,
  // its lower end is not; no games: unknown.
  const EloEstimate perfect = estimateElo({3, 0, 0});
  EXPECT_TRUE(std::isinf(perfect.elo));
  EXPECT_TRUE(std::isinf(perfect.high));
  // Wilson for 3 of 3: k = 1.96^2 / 3 = 1.280478, lower end k / (1 + k) = 0.438503, -42.95 Elo.
  EXPECT_NEAR(perfect.low, -42.9500, 1e-3);
  EXPECT_TRUE(std::isinf(estimateElo({0, 0, 0}).margin));
  // 9 wins and a loss: m +- 1.96 sqrt(0.09 / 10) reaches past 1, so the Wilson
  // interval: k = 0.384146, p = (1.8 + k -+ sqrt(k (0.36 + k))) / (2 (1 + k))
  // = [0.595850, 0.982124], in Elo [67.44, 695.96], half its width 314.26.
  const EloEstimate lopsided = estimateElo({9, 0, 1});
  EXPECT_NEAR(lopsided.low, 67.4377, 1e-3);
  EXPECT_NEAR(lopsided.high, 695.9563, 1e-3);
  EXPECT_NEAR(lopsided.margin, 314.2593, 1e-3);
  // Draws narrow it: 97% from 95 wins, 4 draws and a loss keeps the normal
  // interval (inside (0, 1)); 97 wins and 3 losses needs Wilson and stays finite.
  EXPECT_TRUE(std::isfinite(estimateElo({95, 4, 1}).margin));
  EXPECT_NEAR(estimateElo({97, 0, 3}).margin, 189.983, 1e-2);
}

// The Wilson interval with draws, against a plain search for the scores p
// whose standard error puts the mean within 1.96 of them, on random scores
// whose normal interval leaves (0, 1).
TEST(MatchStats, WilsonEndsSolveTheirEquation) {
  uint32_t seed = 12345;
  auto next = [&](int bound) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<int>((seed >> 8) % static_cast<uint32_t>(bound));
  };
  int checked = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const MatchScore s{next(40), next(6), next(4)};
    const int n = s.games();
    if (n == 0 || s.wins == n || s.losses == n) continue;
    const double m = s.ratio();
    const double d = static_cast<double>(s.draws) / n;
    const EloEstimate e = estimateElo(s);
    const double v = (s.wins * (1 - m) * (1 - m) + s.draws * (0.25 - m + m * m) + s.losses * m * m) / n;
    if (m + 1.959963984540054 * std::sqrt(v / n) < 1 && m - 1.959963984540054 * std::sqrt(v / n) > 0) continue;
    ++checked;
    ASSERT_TRUE(std::isfinite(e.low) && std::isfinite(e.high)) << s.wins << " " << s.draws << " " << s.losses;
    // Scan p over a fine grid: inside the interval exactly where |m - p| <= 1.96 se(p).
    for (int i = 1; i < 2000; ++i) {
      const double p = i / 2000.0;
      const double pv = p * (1 - p) - d / 4;
      const bool inside = pv > 0 && std::fabs(m - p) <= 1.959963984540054 * std::sqrt(pv / n);
      const double elo = eloFromScore(p);
      if (std::fabs(elo - e.low) < 2 || std::fabs(elo - e.high) < 2) continue;  // too near an end to tell
      EXPECT_EQ(inside, elo > e.low && elo < e.high) << s.wins << "-" << s.draws << "-" << s.losses << " p " << p;
    }
  }
  EXPECT_GT(checked, 50);
}

TEST(MatchStats, SprtBounds) {
  // ln(0.05 / 0.95) and ln(0.95 / 0.05).
  const SprtBounds b = sprtBounds(0.05, 0.05);
  EXPECT_NEAR(b.lower, -2.944439, 1e-6);
  EXPECT_NEAR(b.upper, 2.944439, 1e-6);
  // ln(0.1 / 0.95) and ln(0.9 / 0.05): alpha and beta act on different ends.
  const SprtBounds c = sprtBounds(0.05, 0.1);
  EXPECT_NEAR(c.lower, -2.251292, 1e-6);
  EXPECT_NEAR(c.upper, 2.890372, 1e-6);
}

TEST(MatchStats, SprtLlrOnHandComputedCases) {
  // s(5) = 1 / (1 + 10^(-5/400)) = 0.5071953, s(10) = 0.5143868, s(0) = 0.5.
  //
  // 30 wins, 40 draws, 30 losses: m = 0.5, v = (30 + 10) / 100 - 0.25 = 0.15.
  // elo0 0, elo1 10: LLR = 100 * 0.0143868 * (1 - 0.5 - 0.5143868) / 0.3
  //                       = -0.0689970.
  EXPECT_NEAR(sprtLlr({30, 40, 30}, 0, 10), -0.0689970, 1e-6);
  // 60 wins, 20 draws, 20 losses: m = 0.7, v = (60 + 5) / 100 - 0.49 = 0.16.
  // elo0 0, elo1 5: LLR = 100 * 0.0071953 * (1.4 - 0.5 - 0.5071953) / 0.32
  //                     = 0.8832073.
  EXPECT_NEAR(sprtLlr({60, 20, 20}, 0, 5), 0.8832073, 1e-6);
  // 20 wins, 50 draws, 30 losses: m = 0.45, v = 0.325 - 0.2025 = 0.1225.
  // elo0 -5, elo1 5: s0 + s1 = 1, so LLR = 100 * 0.0143906 * (0.9 - 1) / 0.245
  //                                    = -0.5873536.
  EXPECT_NEAR(sprtLlr({20, 50, 30}, -5, 5), -0.5873536, 1e-6);
}

TEST(MatchStats, SprtLlrNeedsEveryOutcome) {
  EXPECT_EQ(sprtLlr({10, 0, 3}, 0, 5), 0);
  EXPECT_EQ(sprtLlr({0, 4, 3}, 0, 5), 0);
  EXPECT_EQ(sprtLlr({5, 4, 0}, 0, 5), 0);
  EXPECT_NE(sprtLlr({5, 4, 1}, 0, 5), 0);
}

TEST(MatchStats, SprtLlrGrowsWithEvidence) {
  // The same proportions over ten times the games: ten times the ratio.
  EXPECT_NEAR(sprtLlr({600, 200, 200}, 0, 5), 10 * sprtLlr({60, 20, 20}, 0, 5), 1e-9);
  // A score above both hypotheses favours elo1, one below both elo0.
  EXPECT_GT(sprtLlr({50, 30, 20}, 0, 10), 0);
  EXPECT_LT(sprtLlr({20, 30, 50}, 0, 10), 0);
}

}  // namespace
}  // namespace tovrane

namespace tovrane {
namespace {

TEST(MatchStats, PairStatisticsOnHandComputedCases) {
  // Pairs scoring 1, 1, 3/2 and 2 points: per game 0.5, 0.5, 0.75, 1;
  // mean 0.6875, variance (2 * 0.1875^2 + 0.0625^2 + 0.3125^2) / 4
  // = 0.04296875; the interval 0.6875 -+ 1.96 sqrt(0.04296875 / 4) in Elo
  // is 136.97 with half width 187.60.
  PairScore pairs;
  pairs.counts = {0, 0, 2, 1, 1};
  EXPECT_EQ(pairs.pairs(), 4);
  EXPECT_DOUBLE_EQ(pairs.ratio(), 0.6875);
  const EloEstimate e = estimatePairElo(pairs);
  EXPECT_NEAR(e.elo, 136.9691, 1e-3);
  EXPECT_NEAR(e.margin, 187.6038, 1e-3);
  // No pair lost yet: no ratio.
  EXPECT_EQ(sprtPairLlr(pairs, 0, 200), 0);
  // One pair of each of 0, 1 and 2 points: mean 0.5, variance 1/6;
  // 3 (s1 - 0.5)(1 - 0.5 - s1) / (1/3) with s1 = 0.759747 gives -0.6072.
  pairs.counts = {1, 0, 1, 0, 1};
  EXPECT_NEAR(sprtPairLlr(pairs, 0, 200), -0.607216, 1e-5);
  EXPECT_EQ(estimatePairElo(PairScore{}).margin, std::numeric_limits<double>::infinity());
}

}  // namespace
}  // namespace tovrane
