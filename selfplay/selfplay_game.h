#pragma once
// One self-play game of engine-pro against itself, in-process, for training
// data. Every game is made from the run's settings and its own number alone
// (a fresh search and a random generator seeded by seed and number), so a
// game is the same whichever process, shard or thread plays it.
//
// How a game varies: it starts with a random opening of openingPlies plies
// (randomOpenings with the game's seed); after that, up to ply randomPlies,
// each move is with probability randomRate a legal move drawn uniformly
// instead of the search's choice. Such a move is often a blunder: it moves
// the game to positions the engine would not choose, and the positions
// before it get a result the engine did not earn, which is why it is rare.
// Every other move is the search's, with a node budget (nodes) or a fixed
// depth (depth), never the clock. The game ends under rules (judgePosition).
//
// A position is recorded for every move that was searched (all but the
// opening's): the quiet leaf of the capture search from the game's position
// (quiet_leaf.h), with the search's score converted to the side to move at
// the leaf. Positions whose capture line ends with a side without a move
// are left out (the game decides them, not the evaluation), and so is a
// leaf already recorded in the game (a game that plays the capture line
// reaches it again).

#include <cstdint>
#include <string>
#include <vector>

#include "eval/net_eval.h"
#include "game/board.h"
#include "rules/game_rules.h"
#include "selfplay/quiet_leaf.h"

namespace tovrane {

struct SelfplaySettings {
  uint64_t seed = 1;
  int openingPlies = 6;
  double randomRate = 0.05;
  int randomPlies = 30;
  uint64_t nodes = 10000;  // per move; 0 with a fixed depth
  int depth = 0;           // a fixed depth instead of nodes (0: nodes)
  int hashMegabytes = 16;
  GameRules rules{};
  // The evaluation of the search and of the quiet leaf: a network (must
  // outlive the games), or null for the hand-made one. evalName names it in
  // the file's settings line.
  const NetWeights* net = nullptr;
  std::string evalName;
};

struct SelfplayPosition {
  Board board{};  // the quiet leaf
  Side side = kBlack;
  int32_t score = 0;  // the search's score for side (a proved result beyond kProWinBound)
  int ply = 0;        // the game's ply at which the search ran (moves played before it)
  Move captures[kMaxQuietCaptures]{};  // from the game's position at ply to board
  int captureCount = 0;
};

struct SelfplayGame {
  int64_t number = 0;
  std::vector<Move> moves;
  int openingPlies = 0;
  std::vector<int> randomPlies;  // the plies (0-based) whose move was drawn at random
  Side winner = 0;               // 0: a draw
  RuleEnd end = RuleEnd::kNone;
  std::vector<SelfplayPosition> positions;
};

// The seed of game number's random draws.
uint64_t selfplayGameSeed(uint64_t seed, int64_t number);

SelfplayGame playSelfplayGame(const SelfplaySettings& settings, int64_t number);

}  // namespace tovrane
