// Fuzz target: the reader of engines' thinking lines and of the same fields
// at the end of a record's move line. The input is one line. The target
// checks that
//   - a line read as "info ..." gives a thinking whose text form reads back
//     to the same thinking, with a depth, score and pv within their bounds;
//   - a refused line leaves the thinking alone;
//   - the fields without "info" read the same as with it.

#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "match/thinking_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrane;
  using namespace tovrane::fuzz;
  const std::string line(reinterpret_cast<const char*>(data), size);
  Thinking sentinel;
  sentinel.depth = 77;
  Thinking read = sentinel;
  if (!parseInfoLine(line, read)) {
    check(read == sentinel, "a refused line changed the thinking");
    return 0;
  }
  check(read.depth >= 0 && read.depth <= kMaxThinkingDepth, "depth out of bounds");
  check(read.pv.size() <= kMaxPvMoves, "pv longer than kept");
  if (read.score.kind == ThinkingScore::Kind::kCentis) {
    check(read.score.value >= -kMaxCentis && read.score.value <= kMaxCentis, "score out of bounds");
  } else {
    check(read.score.value >= 0 && read.score.value <= kMaxProvedPlies, "plies out of bounds");
  }
  for (const Move& m : read.pv) check(moveOnBoard(m), "pv move off the board");
  const std::string text = thinkingFieldsText(read);
  Thinking back;
  check(parseThinkingFields(text, back), "the text form is refused");
  check(back == read, "the text form reads back otherwise");
  Thinking again;
  check(parseInfoLine("info " + text, again) && again == read, "with info it reads otherwise");
  return 0;
}
