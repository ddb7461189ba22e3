#pragma once
// The rules that end a game besides a side left without a legal move, as
// events really play them: a limit on the run of plies without a capture,
// whether a repeated position ends the game, and a cap on the game's length,
// each with what it gives (a draw, or a win for the side with more pieces).
// The referee, engine-pro's search, the web page and the book builder all
// read the same record, so they agree on how every game ends.
//
// The order of the checks after a move: the side to move without a legal
// move loses, whatever else holds; then a repetition, then the quiet limit,
// then the ply cap.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "game/board.h"

namespace tovrane {

// What an end by rule gives.
enum class RuleAward {
  kDraw,        // a draw
  kMorePieces,  // the side with more pieces wins; equal pieces: a draw
};

struct GameRules {
  int quietLimit = 80;  // plies in a row without a capture that end the game; 0: no limit
  RuleAward quietAward = RuleAward::kDraw;
  bool repetitionEnds = false;  // a position (board and side to move) seen before ends the game
  RuleAward repetitionAward = RuleAward::kDraw;
  int maxPlies = 400;  // the game ends at this many plies; 0: no cap
  RuleAward capAward = RuleAward::kDraw;
  bool operator==(const GameRules&) const = default;
};

// The presets by name: "draw80" (the default), "pieces50-repetition" (the
// computer tournaments' rules) and "pieces80" (the university courses').
struct RulesPreset {
  const char* name;
  const char* meaning;  // one line for --help
  GameRules rules;
};
const std::vector<RulesPreset>& rulesPresets();
std::optional<GameRules> rulesByName(std::string_view name);
// The preset's name when rules equal one, else empty.
std::string rulesName(const GameRules& rules);
// The rules in words for a record header, one form per meaning. Rules that
// only ever draw (the quiet limit and the cap give a draw, a repetition
// plays on) read "draw-plies Q max-plies M", as records have always said;
// others e.g. "rules pieces50-repetition quiet-plies 50 pieces repetition
// pieces max-plies 400 pieces" (the preset's name when they are one; each
// limit with what it gives: draw or pieces; "repetition plays-on" when a
// repetition does not end the game; "none" for no limit).
std::string rulesWords(const GameRules& rules);

// The winner under award on board: the side with more pieces for
// kMorePieces (0 when equal), always 0 for kDraw.
Side awardWinner(RuleAward award, const Board& board);

enum class RuleEnd {
  kNone,        // the game goes on
  kNoMoves,     // the side to move has no legal move: it loses
  kRepetition,  // the position was seen before
  kQuietLimit,  // the run of quiet plies reached the limit
  kPlyCap,      // the game reached its cap
};

struct RuleVerdict {
  RuleEnd end = RuleEnd::kNone;
  Side winner = 0;  // 0: a draw (or no end)
};

// Whether the game ends in board with toMove to move, after plies plies of
// which the last quietPlies had no capture; repeated says whether this
// position (board and side to move) occurred earlier in the game.
RuleVerdict judgePosition(const GameRules& rules, const Board& board, Side toMove, int quietPlies, int plies,
                          bool repeated);

}  // namespace tovrane
