#pragma once
// Fitting engine-pro's evaluation weights to game results, at the scale of
// millions of positions. A position's score is
//   sum f[i] * (opening[i] * phase + endgame[i] * (24 - phase)) / 24
// (eval/pro_eval.h), so both rows are one linear model over the features
// split by phase; its prediction of the result for the side to move is the
// logistic curve 1 / (1 + exp(-score / scale)).
//
// Samples are kept compact (16-bit features, 64 bytes each) so that a few
// million fit in a few hundred MB. Positions are deduplicated (board and
// side to move): a position met several times is one sample with the mean
// of its results and scores, so the early positions that many games pass
// through do not outweigh the rest. A tenth of the games is held out, chosen
// by the game (positions of one game are alike and share one result), and
// deduplicated apart from the rest so that the held-out loss is that of
// positions of games never trained on.

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "eval/pro_eval.h"
#include "game/board.h"

namespace tovrane {

struct FitSample {
  uint64_t key = 0;   // the position (board and side to move)
  uint64_t game = 0;  // the game's identity (fitGameId)
  std::array<int16_t, kProFeatureCount> features{};
  uint8_t phase = 0;
  bool heldOut = false;
  bool hasScore = false;
  float result = 0.5f;  // for the side to move: 1 win, 0.5 draw, 0 loss (a mean after deduplication)
  float score = 0;      // the search's score for the side to move (mean), when hasScore
  uint32_t count = 1;   // occurrences merged into this sample
};

// One fitted model: the two rows of doubles.
struct FitWeights {
  std::array<double, kProFeatureCount> opening{};
  std::array<double, kProFeatureCount> endgame{};
  static FitWeights of(const ProWeights& weights);
  ProWeights rounded() const;
};

// Scores beyond this size count as this (proved results included).
constexpr float kFitScoreCap = 2000;

class FitSet {
 public:
  // Adds a position of game; game identifies the game across all files.
  // score is ignored unless hasScore.
  void add(const Board& board, Side side, float result, bool hasScore, int32_t score, uint64_t game);
  // Holds out the positions of a tenth of the games (at least one game of
  // two or more): those of the smallest identities, which are hashes, so the
  // choice is random but fixed. Returns the number of games held out.
  size_t holdOutTenth();
  // Merges repeated positions, the held-out ones apart from the others;
  // returns how many samples were merged away.
  size_t deduplicate();

  const std::vector<FitSample>& samples() const { return samples_; }
  size_t size() const { return samples_.size(); }
  size_t heldOutCount() const;

 private:
  std::vector<FitSample> samples_;
};

// The game identity for held-out selection: a hash of the run's name (the
// settings of a self-play run without its shard, the header of a match
// record) and the game's number.
uint64_t fitGameId(std::string_view run, int64_t number);

double fitScore(const FitSample& s, const FitWeights& w);

// Mean log loss against the game results, over the held-out samples or the
// others.
double resultLoss(const std::vector<FitSample>& samples, const FitWeights& w, double scale, bool heldOut);

// The scale at which the weights predict the training samples' results best.
double fitScale(const std::vector<FitSample>& samples, const FitWeights& w);

struct FitOptions {
  int iterations = 1000;
  double rate = 0.5;         // Adam's step, in weight units
  double scoreWeight = 0;    // target = (1 - scoreWeight) * result + scoreWeight * curve(score)
  int reportEvery = 50;      // iterations between progress calls
};

struct FitProgress {
  int iteration = 0;
  double trainLoss = 0;  // against the targets
  double heldOutLoss = 0;  // against the results
};

// Full-batch Adam on the mean log loss of the training samples against
// their targets, from start.
FitWeights fitWeights(const std::vector<FitSample>& samples, const FitWeights& start, double scale,
                      const FitOptions& options, const std::function<void(const FitProgress&)>& progress);

}  // namespace tovrane
