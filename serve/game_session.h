#pragma once
// One game played through the web page: where it started, the moves so far
// with the time each took, an optional clock, and how the game ended. The
// game ends as a referee ends it under the game's rules (judgePosition: a
// side to move without a legal move loses, then repetition, the quiet limit
// and the ply cap as the rules say), or by a resignation or a fallen flag.

#include <string>
#include <vector>

#include "game/board.h"
#include "match/game_record.h"
#include "rules/game_rules.h"

namespace tovrane {

enum class SessionEnd { kNone, kNoMoves, kRepetition, kQuietLimit, kPlyCap, kResigned, kTimeForfeit };

// "no-moves", "repetition", "quiet-limit", "ply-cap", "resigned", "time-forfeit".
const char* sessionEndCode(SessionEnd end);

struct SessionPly {
  Move move;
  double seconds;
  bool capture;
};

// A clock per side: each starts with initialSeconds and gains
// incrementSeconds after each of its moves. initialSeconds 0: no clock.
struct ClockSettings {
  double initialSeconds = 0;
  double incrementSeconds = 0;
};

class GameSession {
 public:
  // A game from the initial position, black to move.
  explicit GameSession(const GameRules& rules = {}, const ClockSettings& clock = {});
  // A game from a set-up position.
  GameSession(const GameRules& rules, const ClockSettings& clock, const Board& start, Side startSide);

  const GameRules& rules() const { return rules_; }
  const ClockSettings& clock() const { return clock_; }
  const Board& startBoard() const { return start_; }
  Side startSide() const { return startSide_; }
  // Whether the game began on the initial position with black to move (only
  // such a game has the record form of `tovrane match`).
  bool fromInitial() const;

  const Board& board() const { return board_; }
  Side toMove() const { return toMove_; }
  int quietPlies() const { return quiet_; }
  const std::vector<SessionPly>& plies() const { return plies_; }
  // The board before the first ply and after each one.
  const std::vector<Board>& boards() const { return boards_; }
  bool over() const { return end_ != SessionEnd::kNone; }
  Side winner() const { return winner_; }  // 0 for a draw
  SessionEnd end() const { return end_; }
  const std::string& reason() const { return reason_; }

  // The clock time side has left, before the current turn's time is taken.
  double timeLeft(Side side) const { return side == kWhite ? whiteLeft_ : blackLeft_; }

  // Plays move for the side to move when the move generator lists it; else
  // returns false with the reason in why and changes nothing. seconds is the
  // time the move took; with a clock, a move that took longer than the
  // mover had left is not played: the game ends by time-forfeit (and true
  // is returned).
  bool play(const Move& move, double seconds, std::string& why);

  // Ends the game for side: it resigns, or its flag fell.
  void resign(Side side);
  void forfeitOnTime(Side side);

  // Takes back the last count plies (at most all of them); a resignation or
  // a fallen flag is taken back with them.
  void takeBack(int count);

  // The game in record form; an unfinished game gets the end "unfinished".
  // Only for a game fromInitial().
  GameRecord record(const std::string& blackName, const std::string& whiteName) const;

 private:
  void restart();
  void judge();
  void finish(SessionEnd end, Side winner, std::string reason);

  GameRules rules_;
  ClockSettings clock_;
  Board start_{};
  Side startSide_ = kBlack;
  Board board_{};
  Side toMove_ = kBlack;
  int quiet_ = 0;
  std::vector<SessionPly> plies_;
  std::vector<Board> boards_;
  double blackLeft_ = 0;
  double whiteLeft_ = 0;
  SessionEnd end_ = SessionEnd::kNone;
  Side winner_ = 0;
  std::string reason_;
};

}  // namespace tovrane
