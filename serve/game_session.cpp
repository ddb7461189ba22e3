#include "serve/game_session.h"

#include "rules/move_generator.h"

namespace tovrane {

namespace {

const char* sideWord(Side side) { return side == kWhite ? "white" : "black"; }

}  // namespace

void GameSession::restart() {
  resetBoard(board_);
  toMove_ = kBlack;
  quiet_ = 0;
  plies_.clear();
  over_ = false;
  winner_ = 0;
  end_ = GameEnd::kNoMoves;
  reason_.clear();
}

bool GameSession::play(const Move& move, double seconds, std::string& why) {
  if (over_) {
    why = "the game is over: " + reason_;
    return false;
  }
  if (!isLegalMove(board_, toMove_, move)) {
    why = moveOnBoard(move) ? moveText(move) + " is not a legal move for " + sideWord(toMove_)
                            : std::string("a move is four digits 0..5");
    return false;
  }
  const bool capture = board_.at(move.toRow, move.toCol) != kEmpty;
  applyMove(board_, move);
  plies_.push_back({move, seconds, capture});
  quiet_ = capture ? 0 : quiet_ + 1;
  toMove_ = opponent(toMove_);
  judge();
  return true;
}

// The same checks, in the same order, as the match referee makes after a ply.
void GameSession::judge() {
  if (!hasAnyMove(board_, toMove_)) {
    over_ = true;
    winner_ = opponent(toMove_);
    end_ = GameEnd::kNoMoves;
    reason_ = std::string(sideWord(toMove_)) + " has no legal move";
  } else if (quiet_ >= kQuietDrawPlies) {
    over_ = true;
    end_ = GameEnd::kQuietDraw;
    reason_ = std::to_string(quiet_) + " plies without a capture";
  } else if (static_cast<int>(plies_.size()) >= kMaxGamePlies) {
    over_ = true;
    end_ = GameEnd::kPlyCap;
    reason_ = "the ply cap of " + std::to_string(kMaxGamePlies) + " was reached";
  }
}

void GameSession::takeBack(int count) {
  std::vector<SessionPly> kept = plies_;
  kept.resize(kept.size() > static_cast<size_t>(count) ? kept.size() - count : 0);
  restart();
  std::string why;
  for (const SessionPly& ply : kept) play(ply.move, ply.seconds, why);
}

GameRecord GameSession::record(const std::string& blackName, const std::string& whiteName) const {
  GameRecord game;
  game.number = 1;
  game.blackName = blackName;
  game.whiteName = whiteName;
  for (const SessionPly& ply : plies_) game.moves.push_back({ply.move, ply.seconds});
  if (over_) {
    game.winner = winner_;
    game.end = end_;
    game.reason = reason_;
  } else {
    game.end = GameEnd::kUnfinished;
    game.reason = std::string("not finished, ") + sideWord(toMove_) + " to move";
  }
  return game;
}

}  // namespace tovrane
