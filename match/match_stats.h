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
  double margin = 0;  // half the width of the 95% interval; infinity when unknown
};

// The per-game score spread is estimated from the games themselves; the
// interval on the mean score is mapped to Elo and halved.
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
