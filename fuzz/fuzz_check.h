#pragma once
// Checks for the fuzz targets. A broken invariant prints what broke and
// aborts, which libFuzzer reports as a crash and saves the input for.

#include <cstdio>
#include <cstdlib>

#include "game/board.h"

namespace tovrane::fuzz {

inline void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// What every Board the engine holds must satisfy: each cell empty, white or
// black, and no side with more pieces than it starts with.
inline void checkBoard(const Board& board) {
  for (int32_t cell : board.cells) check(cell == kEmpty || cell == kWhite || cell == kBlack, "cell outside 0..2");
  check(countPieces(board, kWhite) <= kPiecesPerSide, "more than 12 white pieces");
  check(countPieces(board, kBlack) <= kPiecesPerSide, "more than 12 black pieces");
}

// The white space of formatted input in the "C" locale.
inline bool isSpaceByte(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace tovrane::fuzz
