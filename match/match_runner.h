#pragma once
// The referee of a match: plays games between two engine programs over the
// engines' own command protocol, checks every move with the move generator,
// and reports each game and the final standings.

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "match/game_record.h"
#include "match/match_config.h"
#include "match/match_stats.h"

namespace tovrane {

// An engine that cannot be started or does not answer "name?", or a
// working directory that cannot be made.
struct MatchError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct EngineTally {
  MatchScore score;  // from this engine's point of view
  double moveSeconds = 0;
  double longestMove = 0;
  int moves = 0;
};

struct MatchResult {
  std::string names[2];
  std::vector<GameRecord> games;  // in game order
  EngineTally tally[2];
  double llr = 0;
  int sprtDecision = 0;  // 0 none, -1 elo0 accepted, +1 elo1 accepted
};

// Plays the match. Writes a line per finished game, in game order, and the
// standings at the end to out. Games run concurrently but are reported, and
// counted, as if played one after another, so the output does not depend on
// the concurrency. Throws MatchError before the first game when an engine
// cannot be started.
MatchResult runMatch(const MatchConfig& config, std::ostream& out);

// The winner of a game as an engine index (0 or 1), or -1 for a draw.
int winningEngine(const GameRecord& game);

}  // namespace tovrane
