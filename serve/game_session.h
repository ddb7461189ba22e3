#pragma once
// One game played through the web page: the position, the moves so far with
// the time each took, and how the game ended. The rules are the ones
// `tovrane match` referees by: a side to move without a legal move loses;
// 80 plies in a row without a capture, or 400 plies in all, are a draw.

#include <string>
#include <vector>

#include "game/board.h"
#include "match/game_record.h"

namespace tovrane {

constexpr int kQuietDrawPlies = 80;
constexpr int kMaxGamePlies = 400;

struct SessionPly {
  Move move;
  double seconds;
  bool capture;
};

class GameSession {
 public:
  GameSession() { restart(); }

  void restart();

  const Board& board() const { return board_; }
  Side toMove() const { return toMove_; }
  int quietPlies() const { return quiet_; }
  const std::vector<SessionPly>& plies() const { return plies_; }
  bool over() const { return over_; }
  Side winner() const { return winner_; }    // 0 for a draw
  GameEnd end() const { return end_; }
  const std::string& reason() const { return reason_; }

  // Plays move for the side to move when the move generator lists it; else
  // returns false with the reason in why and changes nothing.
  bool play(const Move& move, double seconds, std::string& why);

  // Takes back the last count plies (at most all of them).
  void takeBack(int count);

  // The game in record form; an unfinished game gets the end "unfinished".
  GameRecord record(const std::string& blackName, const std::string& whiteName) const;

 private:
  void judge();

  Board board_{};
  Side toMove_ = kBlack;
  int quiet_ = 0;
  std::vector<SessionPly> plies_;
  bool over_ = false;
  Side winner_ = 0;
  GameEnd end_ = GameEnd::kNoMoves;
  std::string reason_;
};

}  // namespace tovrane
