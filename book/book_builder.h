#pragma once
// Builds a book folder for both colours. For each colour the book covers
// every position of the first plies in which that colour has followed its
// own book and the other side has played any legal move; each such position
// is searched once (positions reached by several move orders included) and
// its moves written as the records of that colour in the position's file.
//
// The build goes ply by ply, since the positions of a ply depend on the book
// moves two plies earlier. Every file is written whole (temporary name, then
// renamed), so an interrupted build leaves only complete files, and running
// the same build again keeps them and searches the rest. With a fixed-depth
// player the folder is the same for any number of jobs and any interruption.

#include <cstdint>
#include <filesystem>
#include <functional>

#include "book/book_player.h"

namespace tovrane::book {

struct BuildOptions {
  std::filesystem::path out;  // the engine's folder: files go to out/startgame
  int plies = 6;              // book positions of plies 0 .. plies - 1
  PlayerChoice player;
  int moves = 1;              // records per position, at most 9
  int32_t margin = 0;         // extra moves must score within this of the best
  int jobs = 1;               // positions searched at once
};

struct BuildProgress {
  int ply = 0;             // the ply being searched
  int64_t done = 0;        // positions finished (searched or kept)
  int64_t kept = 0;        // of those, taken from files of an earlier run
  int64_t total = 0;       // positions in all plies: exact when totalExact, else projected
  bool totalExact = false;
  double rate = 0;         // positions searched per second in this run
  double secondsLeft = 0;  // projected; 0 when unknown
};

struct BuildResult {
  int64_t positions = 0;  // book positions in the folder's plies
  int64_t searched = 0;
  int64_t kept = 0;
  int64_t files = 0;  // .zjb files in the folder at the end
  double seconds = 0;
};

// The file in out that records what a build used; a later build into the
// same folder must use the same player, moves and margin.
inline constexpr const char* kBuildSettingsFile = "book-build.txt";

// Throws std::runtime_error on a folder that cannot be used or written.
// progress is called from the calling thread now and then.
BuildResult buildBook(const BuildOptions& options, const std::function<void(const BuildProgress&)>& progress);

}  // namespace tovrane::book
