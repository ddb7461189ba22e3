#pragma once
// The self-play position file: plain text, one line per position, written
// game by game. A file starts with comment lines ('#'), among them the run's
// settings:
//
//   # tovrane selfplay positions
//   # selfplay games 20000 seed 1 opening-plies 6 random 0.05 random-plies 30 nodes 10000 depth 0 hash 16 rules draw80 shard 1/2
//
// then per game its positions and, closing the game, one game line:
//
//   BOARD SIDE SCORE RESULT PLY GAME [CAPTURE...]
//   game N result black|white|draw end no-moves|repetition|quiet-limit|ply-cap plies P opening K random PLY,...|- moves MOVE...
//
// BOARD is the 36 cell digits of the quiet leaf (0 empty, 1 white, 2 black),
// SIDE the side to move there (1 white, 2 black), SCORE the search's score
// for that side (beyond 999000 in size: a proved win or loss), RESULT the
// game's result for that side (1 win, 0.5 draw, 0 loss), PLY the game's ply
// at which the search ran (the number of moves played before it), GAME the
// game's number in the whole run; the CAPTUREs, four-digit moves like every
// move here, lead from the game's position at PLY to BOARD. The game line
// lists all moves of the game from the initial position, the opening's
// first K among them, and the plies (0-based) whose move was drawn at random.
//
// A game is complete once its game line is written with its newline; the
// lines after the last complete game belong to a game cut short (its writer
// killed) and are dropped on resume.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "selfplay/selfplay_game.h"

namespace tovrane {

// What one run (or shard) plays: the settings, the number of games of the
// whole run and which shard of it, 1-based.
struct SelfplayRun {
  SelfplaySettings settings;
  int64_t games = 1000;
  int shard = 1;
  int shards = 1;
};

// Shard K of N plays games floor((K-1)G/N)+1 to floor(KG/N) of G.
int64_t firstShardGame(const SelfplayRun& run);
int64_t lastShardGame(const SelfplayRun& run);

inline constexpr std::string_view kSelfplayTitle = "# tovrane selfplay positions";

// The settings line, "# selfplay games ... shard K/N", without a newline.
std::string selfplaySettingsLine(const SelfplayRun& run);
// The file's comment lines, each with its newline.
std::string selfplayHeader(const SelfplayRun& run);
// A game's lines: its positions, then its game line.
std::string selfplayGameText(const SelfplayGame& game);

// A file read back to resume it.
struct SelfplayFileState {
  std::string settingsLine;     // empty when the file has none
  int64_t games = 0;            // complete games
  int64_t positions = 0;        // their positions
  int64_t lastGame = 0;         // the number of the last complete game (0: none)
  uint64_t completeBytes = 0;   // the file's length up to the end of the last complete game
  bool droppedPartial = false;  // lines of a game cut short follow
};
// Reads in; throws std::runtime_error naming the line for a game line that
// cannot be read.
SelfplayFileState readSelfplayState(std::istream& in);

// One position line read back.
struct SelfplayRecord {
  Board board{};
  Side side = kBlack;
  int32_t score = 0;
  float result = 0.5f;
  int ply = 0;
  int64_t game = 0;
  std::vector<Move> captures;
};
// Parses a position line; false when line is not one.
bool parsePositionLine(std::string_view line, SelfplayRecord& record);

// A game line read back: number, result, moves and where the opening ends.
struct SelfplayGameLine {
  int64_t number = 0;
  Side winner = 0;
  std::string end;
  int openingPlies = 0;
  std::vector<int> randomPlies;
  std::vector<Move> moves;
};
bool parseGameLine(std::string_view line, SelfplayGameLine& game);

}  // namespace tovrane
