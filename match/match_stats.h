#pragma once
// Match statistics: the Elo difference that a score implies, with its 95%
// error margin, and the log-likelihood ratio of a sequential probability
// ratio test (SPRT) between two Elo hypotheses.

#include <array>

namespace tovrane {

struct MatchScore {
  int wins = 0;
  int draws = 0;
  int losses = 0;

  int games() const { return wins + draws + losses; }
  // Points per game: a win 1, a draw 1/2.
  double ratio() const;
};

// Expected score of a player that is elo points stronger (logistic model).
double expectedScore(double elo);
// The inverse: the Elo difference that gives the expected score; +-infinity
// for a score of 1 or 0.
double eloFromScore(double score);

struct EloEstimate {
  double elo = 0;     // +-infinity when every game was won or every game lost
  double margin = 0;  // half the width of the 95% interval; infinity when it has no upper or lower end
  double low = 0;     // the interval's ends in Elo: -infinity (+infinity) only for a score of 0 (1)
  double high = 0;
};

// The 95% interval on the mean score m is m +- 1.96 sqrt(v / n), with the
// per-game variance v estimated from the games themselves, mapped to Elo.
// Where that interval reaches a score of 0 or 1 (few games, or nearly all
// won or lost) it is replaced by the Wilson score interval with the games'
// share of draws d: the scores p whose per-game variance p (1 - p) - d / 4
// puts m within 1.96 standard errors. That interval always lies inside
// (0, 1) except at its end for a score of exactly 0 or 1.
// No games: everything 0 and an infinite margin.
EloEstimate estimateElo(const MatchScore& score);

struct SprtBounds {
  double lower;  // at or below: the hypothesis elo0 is accepted
  double upper;  // at or above: the hypothesis elo1 is accepted
};

// lower = ln(beta / (1 - alpha)), upper = ln((1 - beta) / alpha).
SprtBounds sprtBounds(double alpha, double beta);

// Generalised SPRT with the normal approximation of the trinomial
// (win/draw/loss) score: with n games, mean score m and per-game variance v,
//   LLR = n * (s1 - s0) * (2m - s0 - s1) / (2v),  si = expectedScore(eloi).
// Until each of the three outcomes has been seen at least once the variance
// cannot be estimated and the ratio is 0.
double sprtLlr(const MatchScore& score, double elo0, double elo1);

// Pairs of games: an opening played by two engines once with each colour.
// The two games are correlated (the opening favours one colour), so the
// pair, not the game, is the unit of the statistics below: counts[k] is the
// number of pairs in which the first engine scored k/2 points (0, 1/2, 1,
// 3/2, 2), the pentanomial count.
struct PairScore {
  std::array<int, 5> counts{};

  int pairs() const;
  // Points per game over the pairs.
  double ratio() const;
};

// The 95% interval on the mean score per game m (a pair's points / 2):
// m +- 1.96 sqrt(v / N) over N pairs, with v the variance of a pair's
// score per game, mapped to Elo; an end that reaches a score of 0 or 1 is
// infinite. No pairs: everything 0 and an infinite margin.
EloEstimate estimatePairElo(const PairScore& score);

// The same generalised SPRT as for single games, with the pair as the unit:
//   LLR = N * (s1 - s0) * (2m - s0 - s1) / (2v)
// over N pairs with the pair's score per game as the outcome. 0 until a
// pair won (more than 1 point) and a pair lost (less than 1) have been seen:
// before that the variance cannot be estimated.
double sprtPairLlr(const PairScore& score, double elo0, double elo1);

}  // namespace tovrane
