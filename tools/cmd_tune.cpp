// tovrane tune: fits engine-pro's evaluation weights to game results. Every
// quiet position (the side to move has no capture) of the recorded games,
// after the opening plies, is labelled with
// the result for the side to move (1 win, 1/2 draw, 0 loss); the weights are
// those that best predict the labels through the logistic curve
// 1 / (1 + exp(-score / scale)), the scale being fitted first to the current
// weights. Plain full-batch gradient descent (Adam) on the log loss.

#include <cmath>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <vector>

#include "eval/pro_eval.h"
#include "match/game_record.h"
#include "rules/move_generator.h"
#include "tools/commands.h"

namespace tovrane::cli {

namespace {

struct Sample {
  ProFeatures features;
  float label;
};

double meanLoss(const std::vector<Sample>& samples, const std::array<double, kProFeatureCount>& w, double scale) {
  double total = 0;
  for (const Sample& s : samples) {
    double score = 0;
    for (int i = 0; i < kProFeatureCount; ++i) score += w[i] * s.features[i];
    const double p = 1 / (1 + std::exp(-score / scale));
    const double q = std::min(std::max(p, 1e-9), 1 - 1e-9);
    total -= s.label * std::log(q) + (1 - s.label) * std::log(1 - q);
  }
  return total / static_cast<double>(samples.size());
}

}  // namespace

int runTune(Args& args, std::ostream& out) {
  int skip = 8;
  int iterations = 3000;
  for (auto it = args.begin(); it != args.end();) {
    if ((*it == "--skip" || *it == "--iterations") && it + 1 != args.end()) {
      (*it == "--skip" ? skip : iterations) =
          parseInt(*(it + 1), 0, *it == "--skip" ? 400 : 1000000, *it);
      it = args.erase(it, it + 2);
    } else {
      ++it;
    }
  }
  for (const std::string& arg : args) {
    if (arg.rfind("--", 0) == 0) throw UsageError("unknown option " + arg);
  }
  if (args.empty()) throw UsageError("usage: tovrane tune RECORD... [--skip PLIES] [--iterations N]");

  std::vector<Sample> samples;
  int games = 0;
  for (const std::string& path : args) {
    std::ifstream in(path);
    if (!in) throw UsageError("cannot read " + path);
    for (const GameRecord& game : readGameRecords(in)) {
      // Only games decided or drawn by the rules say who stood better.
      if (!endedByRule(game.end)) continue;
      ++games;
      Board board{};
      resetBoard(board);
      Side side = kBlack;
      MoveList list;
      for (int ply = 0; ply < game.plies(); ++ply) {
        // Quiet positions only: where the side to move can capture, the
        // search never trusts the static score.
        bool capture = false;
        if (ply >= skip) {
          list.generateMoves(board, side);
          capture = list.lastIndex >= 0 && board.at(list.moves[0].toRow, list.moves[0].toCol) != kEmpty;
        }
        if (ply >= skip && !capture) {
          const float label = game.winner == 0 ? 0.5f : game.winner == side ? 1.0f : 0.0f;
          samples.push_back({proFeatures(board, side), label});
        }
        applyMove(board, game.moves[ply].move);
        side = opponent(side);
      }
    }
  }
  if (samples.empty()) throw UsageError("no positions in the records");

  std::array<double, kProFeatureCount> w{};
  for (int i = 0; i < kProFeatureCount; ++i) w[i] = kProWeights.opening[i];
  // The scale that makes the current weights fit best (golden-section search).
  double lo = 10, hi = 2000;
  for (int step = 0; step < 40; ++step) {
    const double a = hi - (hi - lo) / 1.618, b = lo + (hi - lo) / 1.618;
    if (meanLoss(samples, w, a) < meanLoss(samples, w, b)) {
      hi = b;
    } else {
      lo = a;
    }
  }
  const double scale = (lo + hi) / 2;
  const double before = meanLoss(samples, w, scale);

  // Adam on the mean log loss; the gradient of one sample is (p - label) * f / scale.
  std::array<double, kProFeatureCount> m{}, v{};
  const double rate = 0.5, beta1 = 0.9, beta2 = 0.999;
  for (int t = 1; t <= iterations; ++t) {
    std::array<double, kProFeatureCount> grad{};
    for (const Sample& s : samples) {
      double score = 0;
      for (int i = 0; i < kProFeatureCount; ++i) score += w[i] * s.features[i];
      const double err = 1 / (1 + std::exp(-score / scale)) - s.label;
      for (int i = 0; i < kProFeatureCount; ++i) grad[i] += err * s.features[i];
    }
    for (int i = 0; i < kProFeatureCount; ++i) {
      const double g = grad[i] / static_cast<double>(samples.size()) / scale;
      m[i] = beta1 * m[i] + (1 - beta1) * g;
      v[i] = beta2 * v[i] + (1 - beta2) * g * g;
      const double mHat = m[i] / (1 - std::pow(beta1, t));
      const double vHat = v[i] / (1 - std::pow(beta2, t));
      w[i] -= rate * mHat / (std::sqrt(vHat) + 1e-8);
    }
  }
  const double after = meanLoss(samples, w, scale);

  out << "games " << games << " positions " << samples.size() << "\n";
  out << std::fixed << std::setprecision(5) << "scale " << scale << "\nloss before " << before << " after " << after
      << "\n";
  out << "weights (name current tuned):\n";
  for (int i = 0; i < kProFeatureCount; ++i) {
    out << "  " << std::left << std::setw(18) << proFeatureName(i) << std::right << std::setw(6) << kProWeights.opening[i]
        << std::setw(8) << std::lround(w[i]) << "\n";
  }
  out << "as code: {";
  for (int i = 0; i < kProFeatureCount; ++i) out << (i ? ", " : "") << std::lround(w[i]);
  out << "}\n";
  return 0;
}

}  // namespace tovrane::cli
