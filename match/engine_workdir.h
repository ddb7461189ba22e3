#pragma once
// The working directory an engine runs in during a match. An engine looks
// for book files in startgame/ below its working directory; the referee uses
// that to make engines play a given opening: before it asks an engine for a
// move in a position of the opening line, it writes that position's book file
// with the one opening move, and after the reply it puts back what was there
// before. The directory starts with a copy of the engine's own book folder,
// if it has one.

#include <string>

#include "game/board.h"

namespace tovrane {

class EngineWorkDir {
 public:
  // Creates path and path/startgame, and copies the files of
  // ownDir/startgame into it when ownDir is given and has that folder.
  // Throws std::filesystem::filesystem_error on failure.
  void create(const std::string& path, const std::string& ownDir);

  const std::string& path() const { return path_; }

  // Writes the book file of board holding the single record for side and
  // move, replacing the engine's own file for that position until restore().
  void placeBookMove(const Board& board, Side side, const Move& move);

  // Puts back the engine's own file for the position last placed (or
  // removes the file when it had none). Does nothing when nothing is placed.
  void restore();

 private:
  std::string path_;
  std::string ownBook_;  // ownDir/startgame, or empty
  std::string placed_;   // file name of the placed book file, or empty
};

// The book file name of a position: 36 digits and ".zjb".
std::string bookFileName(const Board& board);

// The record line of a book file: colour word and the four numbers.
std::string bookRecord(Side side, const Move& move);

}  // namespace tovrane
