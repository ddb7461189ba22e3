#pragma once
// The engine's whole life: reads the referee's commands ("name?", "new",
// "move", "stop") as whitespace-delimited words, keeps the Board in step with
// the game and answers each of its turns with one "move dddd" line.

#include <cstddef>
#include <iosfwd>
#include <string_view>

#include "game/board.h"
#include "search/engine_settings.h"
#include "search/move_chooser.h"

namespace tovrane {

// One whitespace-delimited word of the referee's input. Only the first
// kCapacity characters are kept, so a word of any length costs no more
// memory; a longer word still counts as one word, and as it matches no
// command and is no applicable move, it is ignored like any unknown word.
struct RefereeWord {
  static constexpr size_t kCapacity = 499;
  char text[kCapacity + 1];
  size_t length;  // the whole word's length, which may exceed kCapacity

  std::string_view kept() const { return {text, length < kCapacity ? length : kCapacity}; }
  bool is(std::string_view command) const { return length == command.size() && kept() == command; }
};

// Skips white space and reads one word, leaving the delimiter that ends it
// unread, as formatted string input does. False at the end of input.
bool readRefereeWord(std::istream& in, RefereeWord& word);

// The move word of a "move" command: applied only when it is at most six
// characters long and its first four characters are digits 0..5 (fromRow,
// fromCol, toRow, toCol). False leaves move alone.
bool parseMoveWord(std::string_view word, Move& move);

class RefereeLoop {
 public:
  using PauseFunction = void (*)();

  // pause runs before each command word is read (50 ms in the programs).
  RefereeLoop(const EngineSettings& settings, MoveChooser& search, std::istream& in, std::ostream& out,
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
  MoveChooser& search_;
  std::istream& in_;
  std::ostream& out_;
  PauseFunction pause_;
  Board board_{};
  Move lastMove_{};
  Side ourSide_ = 0;
};

// The main function of the exact programs: a static search engine, book and
// loop on standard input and output, with the 50 ms pause.
int runEngineProgram(const EngineSettings& settings);

// The main function of engine-pro: reads its options (see pro_options.h),
// then runs the loop with the time-budgeted search and no pause (reading
// blocks anyway, and the pause would eat into the move's time budget).
int runProProgram(int argc, const char* const* argv);

}  // namespace tovrane
