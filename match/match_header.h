#pragma once
// What makes two runs parts of the same match: the engines, the openings,
// the rules and the sequential test. A record starts with these as comment
// lines "# match KEY VALUE", so that a run can be resumed from its record and
// shard records can be merged, and both refused when they belong to another
// match. Readers of games skip the comments.

#include <string>
#include <vector>

#include "match/match_config.h"

namespace tovrane {

struct MatchHeader {
  std::vector<std::string> names;    // the engines' names as shown
  std::vector<std::string> engines;  // each engine's words as given: cmd=... arg=... dir=...
  TournamentKind tournament = TournamentKind::kRoundRobin;  // its line only with more than two engines
  int openingCount = 0;
  std::string openings;    // the source of the openings and a digest of all their moves
  std::string rules;       // move time and the rules in words (rulesWords)
  GameClock clock;         // the game clock; its line only when there is one
  bool sprt = false;
  double elo0 = 0, elo1 = 0, alpha = 0, beta = 0;
  bool trinomialSprt = false;  // the test on single games; pairs of games otherwise
  std::string referee;     // how the referee judges besides the rules: "strict openings-required
                           // adjudicate win 400:4 ..."; its line only when not empty
  int shard = 1;           // this record holds share shard of shards (1-based)
  int shards = 1;

  std::vector<Pairing> pairings() const { return tournamentPairings(static_cast<int>(names.size()), tournament); }
  int totalGames() const { return 2 * openingCount * static_cast<int>(pairings().size()); }
};

MatchHeader matchHeader(const MatchConfig& config, const std::vector<std::string>& names);

// The comment lines, and the empty line that ends them.
std::string matchHeaderText(const MatchHeader& header);

// From a record's leading comments (without their '#'): lines name1 ...
// nameN and engine1 ... engineN, with tournament when N > 2. Throws
// std::runtime_error when the match lines are missing or unreadable.
MatchHeader parseMatchHeader(const std::vector<std::string>& comments);

// The first way in which the two differ, as "KEY 'a' vs 'b'"; empty when they
// belong to the same match. The shard counts only when withShard.
std::string matchDifference(const MatchHeader& a, const MatchHeader& b, bool withShard);

// The openings (0-based, half-open) of share shard of shards among count:
// consecutive blocks, so shards 1..k together are the start of the match.
struct OpeningRange {
  int begin;
  int end;
};
OpeningRange shardOpenings(int count, int shard, int shards);

}  // namespace tovrane
