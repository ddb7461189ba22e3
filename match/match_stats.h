#pragma once
// Match statistics: the Elo difference that a score implies, with its 95%
// error margin, and the log-likelihood ratio of a sequential probability
// ratio test (SPRT) between two Elo hypotheses.

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

}  // namespace tovrane
