// Fuzz target: the self-play position file reader (tovrane selfplay
// --resume, tovrane tune). The input is a position file. The target checks
// that
//   - reading the file's state either succeeds or throws std::runtime_error,
//     and its complete part is no longer than the file;
//   - every line read as a position gives a board of cells 0, 1 or 2 (the
//     reader takes any such board: the piece counts are the writer's
//     business), a side 1 or 2, a result of 0, 1/2 or 1 and capture moves on
//     the board;
//   - every line read as a game line gives moves on the board.

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>

#include "fuzz/fuzz_check.h"
#include "selfplay/position_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrane;
  using namespace tovrane::fuzz;
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    std::istringstream in(text);
    const SelfplayFileState state = readSelfplayState(in);
    check(state.completeBytes <= text.size(), "complete part longer than the file");
    check(state.games >= 0 && state.positions >= 0, "negative counts");
  } catch (const std::runtime_error&) {
  }
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    SelfplayRecord record;
    if (parsePositionLine(line, record)) {
      for (int32_t cell : record.board.cells) check(cell >= 0 && cell <= 2, "cell outside 0..2");
      check(record.side == kBlack || record.side == kWhite, "side outside 1..2");
      check(record.result == 0.0f || record.result == 0.5f || record.result == 1.0f, "result not 0, 1/2 or 1");
      for (const Move& m : record.captures) check(moveOnBoard(m), "capture off the board");
    }
    SelfplayGameLine game;
    if (parseGameLine(line, game)) {
      for (const Move& m : game.moves) check(moveOnBoard(m), "game move off the board");
    }
  }
  return 0;
}
