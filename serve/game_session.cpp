#include "serve/game_session.h"

#include <utility>

#include "rules/move_generator.h"

namespace tovrane {

namespace {

const char* sideWord(Side side) { return side == kWhite ? "white" : "black"; }

// What an award by rule adds to the reason.
std::string awardText(Side winner) {
  return winner == 0 ? ": a draw" : std::string(": ") + sideWord(winner) + " has more pieces and wins";
}

}  // namespace

const char* sessionEndCode(SessionEnd end) {
  switch (end) {
    case SessionEnd::kNone: return "none";
    case SessionEnd::kNoMoves: return "no-moves";
    case SessionEnd::kRepetition: return "repetition";
    case SessionEnd::kQuietLimit: return "quiet-limit";
    case SessionEnd::kPlyCap: return "ply-cap";
    case SessionEnd::kResigned: return "resigned";
    case SessionEnd::kTimeForfeit: return "time-forfeit";
  }
  return "none";
}

GameSession::GameSession(const GameRules& rules, const ClockSettings& clock) : rules_(rules), clock_(clock) {
  resetBoard(start_);
  restart();
}

GameSession::GameSession(const GameRules& rules, const ClockSettings& clock, const Board& start, Side startSide)
    : rules_(rules), clock_(clock), start_(start), startSide_(startSide) {
  restart();
}

bool GameSession::fromInitial() const {
  Board initial{};
  resetBoard(initial);
  return start_ == initial && startSide_ == kBlack;
}

void GameSession::restart() {
  board_ = start_;
  toMove_ = startSide_;
  quiet_ = 0;
  plies_.clear();
  boards_.assign(1, start_);
  blackLeft_ = whiteLeft_ = clock_.initialSeconds;
  end_ = SessionEnd::kNone;
  winner_ = 0;
  reason_.clear();
  judge();
}

void GameSession::finish(SessionEnd end, Side winner, std::string reason) {
  end_ = end;
  winner_ = winner;
  reason_ = std::move(reason);
}

bool GameSession::play(const Move& move, double seconds, std::string& why) {
  if (over()) {
    why = "the game is over: " + reason_;
    return false;
  }
  if (!isLegalMove(board_, toMove_, move)) {
    why = moveOnBoard(move) ? moveText(move) + " is not a legal move for " + sideWord(toMove_)
                            : std::string("a move is four digits 0..5");
    return false;
  }
  if (clock_.initialSeconds > 0) {
    double& left = toMove_ == kWhite ? whiteLeft_ : blackLeft_;
    if (seconds > left) {
      forfeitOnTime(toMove_);
      return true;
    }
    left += clock_.incrementSeconds - seconds;
  }
  const bool capture = board_.at(move.toRow, move.toCol) != kEmpty;
  applyMove(board_, move);
  plies_.push_back({move, seconds, capture});
  boards_.push_back(board_);
  quiet_ = capture ? 0 : quiet_ + 1;
  toMove_ = opponent(toMove_);
  judge();
  return true;
}

void GameSession::resign(Side side) { finish(SessionEnd::kResigned, opponent(side), std::string(sideWord(side)) + " resigned"); }

void GameSession::forfeitOnTime(Side side) {
  if (clock_.initialSeconds > 0) (side == kWhite ? whiteLeft_ : blackLeft_) = 0;
  finish(SessionEnd::kTimeForfeit, opponent(side), std::string(sideWord(side)) + " ran out of time");
}

// The referee's checks after a ply, in the referee's order.
void GameSession::judge() {
  const int count = static_cast<int>(boards_.size());
  bool repeated = false;
  // The same side is to move two, four, ... plies back; no capture in between.
  for (int back = 2; back <= quiet_ && back < count && !repeated; back += 2) {
    repeated = boards_[static_cast<size_t>(count - 1 - back)] == board_;
  }
  const RuleVerdict verdict =
      judgePosition(rules_, board_, toMove_, quiet_, static_cast<int>(plies_.size()), repeated);
  switch (verdict.end) {
    case RuleEnd::kNone:
      break;
    case RuleEnd::kNoMoves:
      // A side wiped out has no move either; said as it is.
      finish(SessionEnd::kNoMoves, verdict.winner,
             std::string(sideWord(toMove_)) +
                 (countPieces(board_, toMove_) == 0 ? " has lost all its pieces" : " has no legal move"));
      break;
    case RuleEnd::kRepetition:
      finish(SessionEnd::kRepetition, verdict.winner, "the position repeated" + awardText(verdict.winner));
      break;
    case RuleEnd::kQuietLimit:
      finish(SessionEnd::kQuietLimit, verdict.winner,
             std::to_string(quiet_) + " plies without a capture" + awardText(verdict.winner));
      break;
    case RuleEnd::kPlyCap:
      finish(SessionEnd::kPlyCap, verdict.winner,
             "the ply cap of " + std::to_string(rules_.maxPlies) + " was reached" + awardText(verdict.winner));
      break;
  }
}

void GameSession::takeBack(int count) {
  std::vector<SessionPly> kept = plies_;
  kept.resize(kept.size() > static_cast<size_t>(count) ? kept.size() - count : 0);
  restart();
  std::string why;
  for (const SessionPly& ply : kept) play(ply.move, ply.seconds, why);
}

namespace {

// The record's end code for a session's end: the record format's own code
// by that name when it has one, else the nearest older one.
GameEnd recordEnd(SessionEnd end, const GameRules& rules) {
  GameEnd code = GameEnd::kUnfinished;
  // The quiet limit as a draw keeps the code `tovrane match` writes for it.
  if (end == SessionEnd::kQuietLimit && rules.quietAward == RuleAward::kDraw) return GameEnd::kQuietDraw;
  if (parseGameEndCode(sessionEndCode(end), code)) return code;
  switch (end) {
    case SessionEnd::kNoMoves: return GameEnd::kNoMoves;
    case SessionEnd::kRepetition:
    case SessionEnd::kQuietLimit: return GameEnd::kQuietDraw;
    case SessionEnd::kPlyCap: return GameEnd::kPlyCap;
    case SessionEnd::kTimeForfeit: return GameEnd::kTimeout;
    default: return GameEnd::kUnfinished;
  }
}

}  // namespace

GameRecord GameSession::record(const std::string& blackName, const std::string& whiteName) const {
  GameRecord game;
  game.number = 1;
  game.blackName = blackName;
  game.whiteName = whiteName;
  for (const SessionPly& ply : plies_) game.moves.push_back({ply.move, ply.seconds});
  if (over()) {
    game.winner = winner_;
    game.end = recordEnd(end_, rules_);
    game.reason = reason_;
  } else {
    game.end = GameEnd::kUnfinished;
    game.reason = std::string("not finished, ") + sideWord(toMove_) + " to move";
  }
  return game;
}

}  // namespace tovrane
