#pragma once
// Runs the games of one self-play run or shard into a position file, on one
// or more threads, writing the games in their order as they finish. An
// existing file is refused unless resumed (its complete games are kept, a
// game cut short at its end is dropped, the rest are played and appended;
// its settings line must be this run's) or overwritten. As every game
// depends only on the settings and its number, the file is the same for any
// number of threads, any interruption and resumption, and the shards' files
// together hold the games of the whole run.

#include <cstdint>
#include <functional>
#include <string>

#include "selfplay/position_file.h"

namespace tovrane {

struct SelfplayRunOptions {
  SelfplayRun run;
  std::string out;
  bool resume = false;
  bool overwrite = false;
  int threads = 1;
};

struct SelfplayProgress {
  int64_t games = 0;      // complete games in the file, resumed ones included
  int64_t total = 0;      // games of this shard
  int64_t positions = 0;  // positions in the file
  int64_t played = 0;     // games played by this run
  double seconds = 0;     // since this run started
  double secondsLeft = 0; // projected from this run's rate; 0 when unknown
};

struct SelfplayRunResult {
  int64_t games = 0;
  int64_t positions = 0;
  int64_t resumedGames = 0;
  int64_t resumedPositions = 0;
  bool droppedPartial = false;
  double seconds = 0;
};

// Throws std::runtime_error for a file that cannot be used or written.
// progress is called from the calling thread after each game is written
// (and once at the start).
SelfplayRunResult runSelfplay(const SelfplayRunOptions& options,
                              const std::function<void(const SelfplayProgress&)>& progress);

}  // namespace tovrane
