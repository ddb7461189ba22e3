#include "match/match_stats.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tovrane {

namespace {
// Two-sided 95% quantile of the normal distribution.
constexpr double kZ95 = 1.959963984540054;
constexpr double kInf = std::numeric_limits<double>::infinity();
}  // namespace

double MatchScore::ratio() const {
  const int n = games();
  return n == 0 ? 0.5 : (wins + 0.5 * draws) / n;
}

double expectedScore(double elo) { return 1.0 / (1.0 + std::pow(10.0, -elo / 400.0)); }

double eloFromScore(double score) {
  if (score >= 1.0) return kInf;
  if (score <= 0.0) return -kInf;
  return -400.0 * std::log10(1.0 / score - 1.0);
}

EloEstimate estimateElo(const MatchScore& score) {
  EloEstimate e;
  const int n = score.games();
  if (n == 0) {
    e.margin = kInf;
    return e;
  }
  const double m = score.ratio();
  e.elo = eloFromScore(m);
  const double variance = (score.wins * (1 - m) * (1 - m) + score.draws * (0.5 - m) * (0.5 - m) +
                           score.losses * m * m) /
                          n;
  const double spread = kZ95 * std::sqrt(variance / n);
  double lowScore = m - spread;
  double highScore = m + spread;
  if (lowScore <= 0 || highScore >= 1) {
    // Wilson: (m - p)^2 = k (p (1 - p) - d / 4) with k = z^2 / n, a quadratic in p.
    const double k = kZ95 * kZ95 / n;
    const double d = static_cast<double>(score.draws) / n;
    const double b = 2 * m + k;
    const double root = std::sqrt(std::max(0.0, k * (4 * m * (1 - m) + k - d * (1 + k))));
    lowScore = std::clamp((b - root) / (2 * (1 + k)), 0.0, 1.0);
    highScore = std::clamp((b + root) / (2 * (1 + k)), 0.0, 1.0);
  }
  e.low = eloFromScore(lowScore);
  e.high = eloFromScore(highScore);
  e.margin = std::isfinite(e.low) && std::isfinite(e.high) ? (e.high - e.low) / 2 : kInf;
  return e;
}

SprtBounds sprtBounds(double alpha, double beta) {
  return {std::log(beta / (1 - alpha)), std::log((1 - beta) / alpha)};
}

double sprtLlr(const MatchScore& score, double elo0, double elo1) {
  if (score.wins == 0 || score.draws == 0 || score.losses == 0) return 0;
  const double n = score.games();
  const double m = (score.wins + 0.5 * score.draws) / n;
  const double variance = (score.wins + 0.25 * score.draws) / n - m * m;
  const double s0 = expectedScore(elo0);
  const double s1 = expectedScore(elo1);
  return n * (s1 - s0) * (2 * m - s0 - s1) / (2 * variance);
}

int PairScore::pairs() const {
  int n = 0;
  for (int c : counts) n += c;
  return n;
}

double PairScore::ratio() const {
  const int n = pairs();
  if (n == 0) return 0.5;
  double points = 0;
  for (size_t k = 0; k < counts.size(); ++k) points += counts[k] * (k / 4.0);
  return points / n;
}

namespace {
// The variance of a pair's score per game (k / 4) about the mean m.
double pairVariance(const PairScore& score, double m) {
  double sum = 0;
  for (size_t k = 0; k < score.counts.size(); ++k) sum += score.counts[k] * (k / 4.0 - m) * (k / 4.0 - m);
  return sum / score.pairs();
}
}  // namespace

EloEstimate estimatePairElo(const PairScore& score) {
  EloEstimate e;
  const int n = score.pairs();
  if (n == 0) {
    e.margin = kInf;
    return e;
  }
  const double m = score.ratio();
  e.elo = eloFromScore(m);
  const double spread = kZ95 * std::sqrt(pairVariance(score, m) / n);
  e.low = eloFromScore(m - spread);
  e.high = eloFromScore(m + spread);
  e.margin = std::isfinite(e.low) && std::isfinite(e.high) ? (e.high - e.low) / 2 : kInf;
  return e;
}

double sprtPairLlr(const PairScore& score, double elo0, double elo1) {
  // As with single games, where every outcome must have been seen: a few
  // pairs alike would give a tiny variance and a rash verdict.
  const std::array<int, 5>& c = score.counts;
  if (c[0] + c[1] == 0 || c[3] + c[4] == 0) return 0;
  const int n = score.pairs();
  const double m = score.ratio();
  const double variance = pairVariance(score, m);
  if (variance <= 0) return 0;
  const double s0 = expectedScore(elo0);
  const double s1 = expectedScore(elo1);
  return n * (s1 - s0) * (2 * m - s0 - s1) / (2 * variance);
}

}  // namespace tovrane
