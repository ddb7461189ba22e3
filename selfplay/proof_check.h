#pragma once
// A check of the wins and losses engine-pro claims. Games start from random
// positions with few pieces and a random history of quiet moves (so a
// repetition, the quiet limit and the ply cap can all come into play), and
// engine-pro plays both sides, told the whole history. Every proved result
// it claims within a few plies is checked against a plain search that knows
// the rules and the game's real history: a claim the plain search does not
// prove is false.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "game/board.h"
#include "rules/game_rules.h"

namespace tovrane {

struct ProofCheckSettings {
  GameRules rules{};
  int games = 100;
  int firstGame = 0;      // games firstGame .. firstGame + games - 1 are played
  uint64_t seed = 1;      // game g plays from a position made from seed and g
  uint64_t nodes = 5000;  // engine-pro's nodes a move
  int claimPlies = 5;     // claims of a result within this many plies are checked
  int gamePlies = 40;     // plies played from each start at most
  size_t hashMegabytes = 4;
  int threads = 1;  // more: claims of the threaded search (not the same every run)
};

// A claim the plain search did not prove.
struct FalseClaim {
  int game = 0;
  int ply = 0;  // of the played part of the game
  std::string board;
  Side side = 0;
  int quiet = 0;      // plies since the last capture
  int gamePly = 0;    // plies since the game's start
  int32_t score = 0;  // as engine-pro gave it
};

struct ProofCheckReport {
  int games = 0;
  uint64_t claims = 0;  // claims checked
  std::vector<FalseClaim> falseClaims;
};

// Whether winner can force the game to end in its win within plies plies
// from board with toMove to move, under rules, after gamePly plies of which
// the last quiet had no capture; earlier holds the positions since the last
// capture, each with its side to move. A plain search over every move.
struct HistoryPosition {
  Board board;
  Side side;
};
bool forcesWin(const GameRules& rules, const Board& board, Side toMove, int quiet, int gamePly,
               std::vector<HistoryPosition>& earlier, Side winner, int plies);

// Plays settings.games games; progress (may be empty) is told after each.
ProofCheckReport runProofCheck(const ProofCheckSettings& settings,
                               const std::function<void(const ProofCheckReport&)>& progress);

}  // namespace tovrane
