#include "engine/referee_loop.h"

#include <cstring>
#include <iostream>
#include <locale>

#include "game/opening_book.h"
#include "game/platform.h"
#include "search/search_engine.h"

namespace tovrane {

namespace {

constexpr size_t kMaxAppliedMoveWord = 6;

void pauseBeforeCommand() { platform::sleepMilliseconds(50); }

}  // namespace

bool readRefereeWord(std::istream& in, RefereeWord& word) {
  std::memset(word.text, 0, sizeof(word.text));
  word.length = 0;
  const std::istream::sentry start(in);  // skips white space; fails at the end of input
  if (!start) return false;
  const auto& types = std::use_facet<std::ctype<char>>(in.getloc());
  std::streambuf* buffer = in.rdbuf();
  for (int ch = buffer->sgetc();; ch = buffer->snextc()) {
    if (ch == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      break;
    }
    const char c = std::char_traits<char>::to_char_type(ch);
    if (types.is(std::ctype_base::space, c)) break;
    if (word.length < RefereeWord::kCapacity) word.text[word.length] = c;
    ++word.length;
  }
  return true;
}

bool parseMoveWord(std::string_view word, Move& move) {
  if (word.size() > kMaxAppliedMoveWord || !isOnBoardMoveText(word)) return false;
  move = readMoveText(word.data());
  return true;
}

RefereeLoop::RefereeLoop(const EngineSettings& settings, MoveChooser& search, std::istream& in,
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
  search_.movePlayed(board_, opponent(ourSide_));
  char text[] = "move 0000\n";
  writeMoveText(lastMove_, text + 5);
  return reply(text);
}

int RefereeLoop::run() {
  resetBoard(board_);
  RefereeWord word;
  for (;;) {
    if (pause_ != nullptr) pause_();
    if (!readRefereeWord(in_, word)) return 0;  // end of input ends the game as "stop" does
    bool outputOpen = true;
    if (word.is("name?")) {
      outputOpen = reply(settings_.nameReply);
    } else if (word.is("new")) {
      resetBoard(board_);
      search_.gameStarted(board_);
      if (!readRefereeWord(in_, word)) return 0;
      if (word.is("white")) {
        ourSide_ = kWhite;
      } else {
        ourSide_ = kBlack;
        outputOpen = makeOurMove();
      }
    } else if (word.is("move")) {
      if (!readRefereeWord(in_, word)) return 0;
      if (parseMoveWord(word.kept(), lastMove_)) {
        applyMove(board_, lastMove_);
        search_.movePlayed(board_, ourSide_);
      }
      outputOpen = makeOurMove();
    } else if (word.is("stop")) {
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
