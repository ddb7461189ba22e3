// Fuzz target: the match record reader, as --resume, merge and replay use it.
// The input is a record file. The target checks that
//   - reading either succeeds or throws std::runtime_error, never anything else;
//   - the complete part ends where a game's empty line ends it, and nothing
//     but white space is dropped unless a partial game is said to be;
//   - every game read, written again and read back, gives the same number,
//     players, result, end, moves, seconds (to the millisecond) and thinking;
//   - the header lines, when they read, give a match of at least two engines
//     whose text form reads back to the same match.

#include <cmath>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>

#include "fuzz/fuzz_check.h"
#include "match/game_record.h"
#include "match/match_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrane;
  using namespace tovrane::fuzz;
  const std::string text(reinterpret_cast<const char*>(data), size);
  RecordFile file;
  try {
    file = readRecordFile(text);
  } catch (const std::runtime_error&) {
    return 0;
  }
  check(file.completeBytes <= text.size(), "complete part longer than the file");
  if (!file.droppedPartial) check(file.completeBytes == text.size(), "nothing dropped, yet not all complete");
  for (const GameRecord& game : file.games) {
    std::istringstream again(gameRecordText(game));
    const std::vector<GameRecord> back = readGameRecords(again);
    check(back.size() == 1, "a game written reads back as one game");
    const GameRecord& b = back[0];
    check(b.number == game.number && b.blackName == game.blackName && b.whiteName == game.whiteName,
          "game number or players changed");
    check(b.winner == game.winner && b.end == game.end && b.opening == game.opening, "result, end or opening changed");
    check(b.plies() == game.plies(), "ply count changed");
    for (int i = 0; i < game.plies(); ++i) {
      const PlayedMove& m = game.moves[static_cast<size_t>(i)];
      const PlayedMove& n = b.moves[static_cast<size_t>(i)];
      check(m.move == n.move && m.thinking == n.thinking, "a move or its thinking changed");
      if (std::isfinite(m.seconds) && std::fabs(m.seconds) < 1e9) {
        check(std::fabs(m.seconds - n.seconds) <= 0.0005 + 1e-9, "seconds changed beyond the millisecond");
      }
    }
  }
  try {
    const MatchHeader header = parseMatchHeader(file.comments);
    check(header.names.size() >= 2 && header.names.size() == header.engines.size(), "a match of fewer than two");
    std::istringstream lines(matchHeaderText(header));
    std::vector<std::string> comments;
    for (std::string line; std::getline(lines, line) && !line.empty();) comments.push_back(line.substr(1));
    const MatchHeader back = parseMatchHeader(comments);
    check(matchDifference(header, back, true).empty(), "the header's text reads back as another match");
  } catch (const std::runtime_error&) {
  }
  return 0;
}
