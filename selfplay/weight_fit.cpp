#include "selfplay/weight_fit.h"

#include <algorithm>
#include <cmath>

#include "search/transposition_table.h"

namespace tovrane {

namespace {

double curve(double score, double scale) { return 1 / (1 + std::exp(-score / scale)); }

double logLoss(double p, double target) {
  const double q = std::min(std::max(p, 1e-9), 1 - 1e-9);
  return -(target * std::log(q) + (1 - target) * std::log(1 - q));
}

double target(const FitSample& s, double scale, double scoreWeight) {
  if (!s.hasScore || scoreWeight == 0) return s.result;
  return (1 - scoreWeight) * s.result + scoreWeight * curve(s.score, scale);
}

uint64_t mix(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  return x ^ (x >> 33);
}

}  // namespace

FitWeights FitWeights::of(const ProWeights& weights) {
  FitWeights w;
  for (int i = 0; i < kProFeatureCount; ++i) {
    w.opening[i] = weights.opening[i];
    w.endgame[i] = weights.endgame[i];
  }
  return w;
}

ProWeights FitWeights::rounded() const {
  ProWeights w{};
  for (int i = 0; i < kProFeatureCount; ++i) {
    w.opening[i] = static_cast<int32_t>(std::lround(opening[i]));
    w.endgame[i] = static_cast<int32_t>(std::lround(endgame[i]));
  }
  return w;
}

uint64_t fitGameId(std::string_view run, int64_t number) {
  uint64_t h = 1469598103934665603ULL;  // FNV-1a over the run's name
  for (char c : run) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  return mix(h ^ mix(static_cast<uint64_t>(number)));
}

void FitSet::add(const Board& board, Side side, float result, bool hasScore, int32_t score, uint64_t game) {
  FitSample s;
  s.key = zobristKey(board, side);
  const ProFeatures f = proFeatures(board, side);
  for (int i = 0; i < kProFeatureCount; ++i) s.features[i] = static_cast<int16_t>(f[i]);
  s.phase = static_cast<uint8_t>(proPhase(board));
  s.game = game;
  s.hasScore = hasScore;
  s.result = result;
  s.score = hasScore ? std::clamp(static_cast<float>(score), -kFitScoreCap, kFitScoreCap) : 0;
  samples_.push_back(s);
}

size_t FitSet::holdOutTenth() {
  std::vector<uint64_t> games;
  games.reserve(samples_.size());
  for (const FitSample& s : samples_) games.push_back(s.game);
  std::sort(games.begin(), games.end());
  games.erase(std::unique(games.begin(), games.end()), games.end());
  const size_t count = games.size() < 2 ? 0 : std::max<size_t>(1, games.size() / 10);
  if (count == 0) return 0;
  const uint64_t last = games[count - 1];
  for (FitSample& s : samples_) s.heldOut = s.game <= last;
  return count;
}

size_t FitSet::deduplicate() {
  std::sort(samples_.begin(), samples_.end(), [](const FitSample& a, const FitSample& b) {
    return a.heldOut != b.heldOut ? a.heldOut < b.heldOut : a.key < b.key;
  });
  size_t kept = 0;
  for (size_t i = 0; i < samples_.size();) {
    size_t j = i;
    double result = 0, score = 0;
    uint32_t scored = 0;
    for (; j < samples_.size() && samples_[j].key == samples_[i].key && samples_[j].heldOut == samples_[i].heldOut;
         ++j) {
      result += samples_[j].result;
      if (samples_[j].hasScore) {
        score += samples_[j].score;
        ++scored;
      }
    }
    FitSample merged = samples_[i];
    merged.count = static_cast<uint32_t>(j - i);
    merged.result = static_cast<float>(result / static_cast<double>(merged.count));
    merged.hasScore = scored > 0;
    merged.score = scored > 0 ? static_cast<float>(score / scored) : 0;
    samples_[kept++] = merged;
    i = j;
  }
  const size_t merged = samples_.size() - kept;
  samples_.resize(kept);
  samples_.shrink_to_fit();
  return merged;
}

size_t FitSet::heldOutCount() const {
  return static_cast<size_t>(std::count_if(samples_.begin(), samples_.end(), [](const FitSample& s) { return s.heldOut; }));
}

double fitScore(const FitSample& s, const FitWeights& w) {
  const double a = s.phase / static_cast<double>(kProPhaseMax);
  double opening = 0, endgame = 0;
  for (int i = 0; i < kProFeatureCount; ++i) {
    opening += w.opening[i] * s.features[i];
    endgame += w.endgame[i] * s.features[i];
  }
  return opening * a + endgame * (1 - a);
}

double resultLoss(const std::vector<FitSample>& samples, const FitWeights& w, double scale, bool heldOut) {
  double total = 0;
  size_t n = 0;
  for (const FitSample& s : samples) {
    if (s.heldOut != heldOut) continue;
    total += logLoss(curve(fitScore(s, w), scale), s.result);
    ++n;
  }
  return n > 0 ? total / static_cast<double>(n) : 0;
}

double fitScale(const std::vector<FitSample>& samples, const FitWeights& w) {
  double lo = 10, hi = 4000;
  for (int step = 0; step < 40; ++step) {  // golden-section search
    const double a = hi - (hi - lo) / 1.618, b = lo + (hi - lo) / 1.618;
    if (resultLoss(samples, w, a, false) < resultLoss(samples, w, b, false)) {
      hi = b;
    } else {
      lo = a;
    }
  }
  return (lo + hi) / 2;
}

FitWeights fitWeights(const std::vector<FitSample>& samples, const FitWeights& start, double scale,
                      const FitOptions& options, const std::function<void(const FitProgress&)>& progress) {
  // The targets once; the training samples' count.
  std::vector<float> targets(samples.size());
  size_t trainCount = 0;
  for (size_t k = 0; k < samples.size(); ++k) {
    targets[k] = static_cast<float>(target(samples[k], scale, options.scoreWeight));
    trainCount += samples[k].heldOut ? 0 : 1;
  }
  if (trainCount == 0) return start;
  constexpr int kCount = 2 * kProFeatureCount;  // opening row, then endgame row
  std::array<double, kCount> w{}, m{}, v{};
  for (int i = 0; i < kProFeatureCount; ++i) {
    w[i] = start.opening[i];
    w[kProFeatureCount + i] = start.endgame[i];
  }
  const double beta1 = 0.9, beta2 = 0.999;
  double power1 = 1, power2 = 1;
  for (int t = 1; t <= options.iterations; ++t) {
    std::array<double, kCount> grad{};
    double loss = 0;
    for (size_t k = 0; k < samples.size(); ++k) {
      const FitSample& s = samples[k];
      if (s.heldOut) continue;
      const double a = s.phase / static_cast<double>(kProPhaseMax);
      double opening = 0, endgame = 0;
      for (int i = 0; i < kProFeatureCount; ++i) {
        opening += w[i] * s.features[i];
        endgame += w[kProFeatureCount + i] * s.features[i];
      }
      const double p = curve(opening * a + endgame * (1 - a), scale);
      const double err = p - targets[k];
      if (t % options.reportEvery == 0 || t == options.iterations) loss += logLoss(p, targets[k]);
      const double ea = err * a, eb = err * (1 - a);
      for (int i = 0; i < kProFeatureCount; ++i) {
        grad[i] += ea * s.features[i];
        grad[kProFeatureCount + i] += eb * s.features[i];
      }
    }
    power1 *= beta1;
    power2 *= beta2;
    for (int i = 0; i < kCount; ++i) {
      const double g = grad[i] / static_cast<double>(trainCount) / scale;
      m[i] = beta1 * m[i] + (1 - beta1) * g;
      v[i] = beta2 * v[i] + (1 - beta2) * g * g;
      w[i] -= options.rate * (m[i] / (1 - power1)) / (std::sqrt(v[i] / (1 - power2)) + 1e-12);
    }
    if (progress && (t % options.reportEvery == 0 || t == options.iterations)) {
      FitWeights now;
      for (int i = 0; i < kProFeatureCount; ++i) {
        now.opening[i] = w[i];
        now.endgame[i] = w[kProFeatureCount + i];
      }
      progress({t, loss / static_cast<double>(trainCount), resultLoss(samples, now, scale, true)});
    }
  }
  FitWeights out;
  for (int i = 0; i < kProFeatureCount; ++i) {
    out.opening[i] = w[i];
    out.endgame[i] = w[kProFeatureCount + i];
  }
  return out;
}

}  // namespace tovrane
