#pragma once
// Prepared moves that take the place of search. The book file of a position
// is named after the whole Board ("startgame" folder, 36 cell digits, ".zjb")
// and holds records of a colour word and four numbers: fromRow fromCol toRow
// toCol. When the file of the current position lists moves for the side to
// move, one of them is played, chosen at random.

#include <cstdint>
#include <cstdio>

#include "game/board.h"

namespace tovrane {

class OpeningBook {
 public:
  static constexpr int kPathLength = 50;  // folder (10) + 36 digits + ".zjb"
  static constexpr int kMaxCandidates = 9;

  // Seeds the standard pseudo-random generator with the time in seconds.
  OpeningBook();

  // True when out now holds a book move for side; out is untouched otherwise.
  // Anything at the path but a readable regular file (nothing, a folder, a
  // pipe, a device) counts as no book.
  bool findBookMove(const Board& board, Move& out, Side side);

  // Reads the records of an open book file into the two candidate lists.
  // Stops at end of file or at the first record that is not a word and four
  // integers; skips records with a coordinate outside 0..5; keeps at most nine
  // moves per colour.
  struct Candidates {
    Move black[kMaxCandidates];
    int blackCount = 0;
    Move white[kMaxCandidates];
    int whiteCount = 0;
  };
  static Candidates readRecords(std::FILE* file);

  const char* path() const { return path_; }

 private:
  void buildPath(const Board& board);

  char path_[kPathLength + 1] = {};
};

}  // namespace tovrane
