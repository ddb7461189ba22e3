// Fuzz target: move-word parsing. The input is read as the referee's words,
// the way the command loop reads them, and each word is parsed as the move
// word of a "move" command. The target checks that
//   - each word read is the next run of non-space bytes, its full length is
//     counted and its first 499 bytes are kept, and the white space that
//     ends it is left unread;
//   - a word is accepted exactly when it has four to six characters and its
//     first four are digits 0..5, and then the move's text form is those four
//     digits; a refused word leaves the move alone;
//   - an accepted move applied to a Board keeps cells 0, 1 or 2 and at most
//     12 pieces a side.

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "engine/referee_loop.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tovrane;
  using namespace tovrane::fuzz;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::istringstream in(input);
  Board board{};
  resetBoard(board);
  size_t pos = 0;
  RefereeWord word;
  for (;;) {
    while (pos < size && isSpaceByte(data[pos])) ++pos;
    const size_t begin = pos;
    while (pos < size && !isSpaceByte(data[pos])) ++pos;
    const bool expected = pos > begin;
    check(readRefereeWord(in, word) == expected, "word found or missed wrongly");
    if (!expected) break;
    const std::string_view whole = std::string_view(input).substr(begin, pos - begin);
    check(word.length == whole.size(), "word length");
    check(word.kept() == whole.substr(0, RefereeWord::kCapacity), "kept part of the word");
    check(word.text[word.kept().size()] == '\0', "kept part not terminated");
    if (pos < size) check(in.peek() == data[pos], "delimiter taken with the word");

    const Move untouched{9, 9, 9, 9};
    Move move = untouched;
    bool valid = whole.size() >= 4 && whole.size() <= 6;
    for (size_t k = 0; valid && k < 4; ++k) valid = whole[k] >= '0' && whole[k] <= '5';
    check(parseMoveWord(word.kept(), move) == valid, "move word accepted or refused wrongly");
    if (!valid) {
      check(move == untouched, "refused word changed the move");
      continue;
    }
    check(moveOnBoard(move), "accepted move off the board");
    check(moveText(move) == whole.substr(0, 4), "move text differs from the word");
    applyMove(board, move);
    checkBoard(board);
  }
  return 0;
}
