#pragma once
// The engine's whole life: reads the referee's commands ("name?", "new",
// "move", "stop") as whitespace-delimited words, keeps the Board in step with
// the game and answers each of its turns with one "move dddd" line.

#include <iosfwd>

#include "game/board.h"
#include "search/engine_settings.h"
#include "search/search_engine.h"

namespace tovrane {

class RefereeLoop {
 public:
  using PauseFunction = void (*)();

  // pause runs before each command word is read (50 ms in the programs).
  RefereeLoop(const EngineSettings& settings, SearchEngine& search, std::istream& in, std::ostream& out,
              PauseFunction pause);

  // Runs until "stop" or the end of input; returns the exit status.
  int run();

  const Board& board() const { return board_; }
  const Move& lastMove() const { return lastMove_; }
  Side ourSide() const { return ourSide_; }

 private:
  // False when the command loop should end (output closed).
  bool makeOurMove();
  bool reply(const char* text);

  const EngineSettings settings_;
  SearchEngine& search_;
  std::istream& in_;
  std::ostream& out_;
  PauseFunction pause_;
  Board board_{};
  Move lastMove_{};
  Side ourSide_ = 0;
};

// The main function of the engine programs: a static search engine, book and
// loop on standard input and output, with the 50 ms pause.
int runEngineProgram(const EngineSettings& settings);

}  // namespace tovrane
