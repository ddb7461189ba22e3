#pragma once
// The fixed positions of `tovrane bench`: positions from engine games,
// from the opening to the endgame.

#include <span>

namespace tovrane::cli {

struct BenchPosition {
  const char* board;  // 36 digits, row-major
  int side;           // side to move
};

std::span<const BenchPosition> benchPositions();

}  // namespace tovrane::cli
