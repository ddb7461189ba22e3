#pragma once
// The account of a match: a line per game in game order with the running
// score of its pairing (and the sequential test's ratio), then the table per
// engine, a cross table of the pairings for more than two engines, the
// test's verdict and how the games ended. A live match, a resumed one and
// 'tovrane merge' all report through it, so the same games print the same.

#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "match/game_record.h"
#include "match/match_config.h"
#include "match/match_stats.h"

namespace tovrane {

struct EngineTally {
  MatchScore score;  // from this engine's point of view
  double moveSeconds = 0;
  double longestMove = 0;
  int moves = 0;
  std::vector<double> clockLeft;  // with a clock: the time left at the end of each game
};

// What side had left on its clock when game ended: the base plus an
// increment per move made, less the recorded time of those moves; 0 for the
// side whose flag fell.
double clockLeftAtEnd(const GameRecord& game, Side side, const GameClock& clock);

struct MatchResult {
  std::vector<std::string> names;
  std::vector<Pairing> pairings;
  std::vector<GameRecord> games;   // in game order
  std::vector<EngineTally> tally;  // per engine
  std::vector<MatchScore> pairScores;  // per pairing, from its first engine's point of view
  std::vector<PairScore> pairPairs;    // per pairing: its pairs of games (both colours of an opening)
  std::vector<int> unpaired;           // per pairing: games whose other colour is not among the games
  double llr = 0;                      // the test's ratio, by the model it uses
  double otherLlr = 0;                 // the ratio by the other model, for comparison
  int sprtDecision = 0;  // 0 none, -1 elo0 accepted, +1 elo1 accepted
  int stopSignal = 0;    // the signal that stopped the match early, 0 if none
};

struct SprtSetup {
  bool on = false;
  double elo0 = 0, elo1 = 0, alpha = 0.05, beta = 0.05;
  bool trinomial = false;  // the test on single games; on pairs of games otherwise
};

// The winner of a game as an engine index, or -1 for a draw.
int winningEngine(const GameRecord& game);

class MatchReport {
 public:
  // The sequential test only for two engines.
  MatchReport(const std::vector<std::string>& names, const std::vector<Pairing>& pairings, int totalGames,
              const SprtSetup& sprt, const GameClock& clock, std::ostream& out);

  // Counts a finished game and prints its line; games come in game order.
  void add(GameRecord game);
  // The sequential test has accepted a hypothesis: no more games count.
  bool decided() const { return result_.sprtDecision != 0; }
  // Prints the table (and for more than two engines the cross table), the
  // test's verdict and the game ends.
  void finish();

  const MatchResult& result() const { return result_; }
  MatchResult& result() { return result_; }

 private:
  MatchResult result_;
  // Per pairing: the first engine's points in the first game of a pair
  // whose other game has not come yet, by the pair's number.
  std::vector<std::map<int, double>> halfPairs_;
  int totalGames_;
  SprtSetup sprt_;
  GameClock clock_;
  std::ostream& out_;
};

}  // namespace tovrane
