#include "game/referee_loop.h"

#include <cstring>
#include <iostream>
#include <string>

#include "game/opening_book.h"
#include "game/platform.h"

namespace tovrane {

namespace {

// A move word is applied only when it is at most six characters long and its
// first four characters are digits 0..5; anything else leaves the Board alone.
constexpr size_t kMaxAppliedMoveWord = 6;

void pauseBeforeCommand() { platform::sleepMilliseconds(50); }

}  // namespace

RefereeLoop::RefereeLoop(const EngineSettings& settings, SearchEngine& search, std::istream& in,
                         std::ostream& out, PauseFunction pause)
    : settings_(settings), search_(search), in_(in), out_(out), pause_(pause) {}

bool RefereeLoop::reply(const char* text) {
  out_ << text;
  out_.flush();
  return static_cast<bool>(out_);
}

bool RefereeLoop::makeOurMove() {
  if (ourSide_ != kWhite && ourSide_ != kBlack) return true;  // no game started: nothing to play
  if (!search_.chooseMove(board_, ourSide_, lastMove_)) return true;
  applyMove(board_, lastMove_);
  char text[] = "move 0000\n";
  writeMoveText(lastMove_, text + 5);
  return reply(text);
}

int RefereeLoop::run() {
  resetBoard(board_);
  std::string word;
  for (;;) {
    if (pause_ != nullptr) pause_();
    if (!(in_ >> word)) return 0;  // end of input ends the game as "stop" does
    bool outputOpen = true;
    if (word == "name?") {
      outputOpen = reply(settings_.nameReply);
    } else if (word == "new") {
      resetBoard(board_);
      if (!(in_ >> word)) return 0;
      if (word == "white") {
        ourSide_ = kWhite;
      } else {
        ourSide_ = kBlack;
        outputOpen = makeOurMove();
      }
    } else if (word == "move") {
      if (!(in_ >> word)) return 0;
      if (word.size() <= kMaxAppliedMoveWord && isOnBoardMoveText(word)) {
        lastMove_ = readMoveText(word.c_str());
        applyMove(board_, lastMove_);
      }
      outputOpen = makeOurMove();
    } else if (word == "stop") {
      out_.flush();
      return 0;
    }
    if (!outputOpen) return 0;  // the referee has gone; nobody is listening
  }
}

int runEngineProgram(const EngineSettings& settings) {
  std::ios::sync_with_stdio(false);
  static OpeningBook book;
  static SearchEngine search(settings, &book);
  static RefereeLoop loop(settings, search, std::cin, std::cout, pauseBeforeCommand);
  return loop.run();
}

}  // namespace tovrane
