#pragma once
// Balanced openings for matches. Black, who moves first, wins about two
// games in three from random openings of a few plies, so most pairs of games
// (one opening, both colours) split 1-1 whatever the engines' strength and a
// match learns little from them. Keeping only the random lines after which a
// short engine-pro search sees neither side ahead leaves the openings whose
// result the engines' play decides.

#include <cstdint>
#include <functional>
#include <vector>

#include "match/openings.h"

namespace tovrane {

struct OpeningBalanceSettings {
  int count = 100;        // lines wanted
  int plies = 6;          // plies per line
  uint64_t seed = 1;      // of the random lines drawn
  uint64_t nodes = 20000; // engine-pro's nodes per line scored
  int margin = 25;        // kept where the score is within +-margin
  int draws = 0;          // random lines drawn at most (0: 50 per line wanted)
};

struct ScoredOpening {
  OpeningLine line;
  int32_t score = 0;  // for the side to move after the line
};

struct OpeningBalanceReport {
  std::vector<ScoredOpening> kept;
  int scored = 0;  // random lines searched
};

// Draws random lines (randomOpenings with settings.seed, so the same lines on
// every platform) and searches each with a fresh engine-pro search told the
// line as the game so far (network evaluation, one thread, settings.nodes
// nodes: the same score on every run), keeping those scored within the
// margin, until settings.count are kept or the draws run out. progress (may
// be empty) is told after each line scored.
OpeningBalanceReport balancedOpenings(const OpeningBalanceSettings& settings,
                                      const std::function<void(const OpeningBalanceReport&)>& progress);

}  // namespace tovrane
