#pragma once
// What a match is made of: the engines (two, or more for a tournament), the
// openings and the rules and limits the referee applies.

#include <string>
#include <vector>

#include "match/adjudication.h"
#include "match/engine_process.h"
#include "match/openings.h"
#include "match/tournament.h"
#include "rules/game_rules.h"

namespace tovrane {

struct EngineEntry {
  EngineCommand command;  // as given by the user
  std::string bookDir;    // the engine's own directory with its startgame/ folder; may be empty
  std::string name;       // display name; empty: the engine's answer to "name?"
};

// A game clock: base seconds for the whole game, plus increment seconds
// after each move (Fischer). base 0: no clock.
struct GameClock {
  double base = 0;
  double increment = 0;
  bool on() const { return base > 0; }
  bool operator==(const GameClock&) const = default;
};

// "10+0.1", or "60" without an increment: shortest numbers that read back.
std::string clockText(const GameClock& clock);
// Reads BASE+INC or BASE (seconds, decimal); false unless 0.001 <= BASE <=
// 604800 and INC is 0 or 0.001 to 3600 (a millisecond is the referee's
// grain; smaller values would not even be written back readably).
bool parseClockText(const std::string& text, GameClock& clock);

struct MatchConfig {
  std::vector<EngineEntry> engines;   // two for a match, more for a tournament
  TournamentKind tournament = TournamentKind::kRoundRobin;  // who plays whom among more than two
  std::vector<OpeningLine> openings;  // each is played twice, colours swapped
  std::string openingSource;          // how the openings were made, e.g. "random plies 4 seed 1"
  double moveSeconds = 10;            // per move, from writing the command; 0: none (with a clock)
  GameClock clock;                    // each side's clock, charged from writing the command to reading the reply
  GameRules rules;                    // what ends a game besides a side without a move
  int concurrency = 1;                // games played at once
  std::string recordPath;             // where every game is written; empty: nowhere
  bool resume = false;                // continue the match of an existing record
  bool overwrite = false;             // replace an existing record (else it is refused)
  int shard = 1;                      // play only share shard (1-based) of shards shares of the openings
  int shards = 1;
  bool sprt = false;                  // stop once the SPRT decides
  double elo0 = 0;
  double elo1 = 5;
  double alpha = 0.05;
  double beta = 0.05;
  bool trinomialSprt = false;         // the test on single games instead of pairs of games
  bool strict = false;                // any line but "move dddd" (or a thinking line) loses as malformed
  bool openingsRequired = false;      // not playing the opening's move loses
  Adjudication adjudication;          // ending decided games early; off by default
};

}  // namespace tovrane
