#pragma once
// Writing and reading 6x6 maps in tests.

#include <array>
#include <sstream>
#include <string>

#include "eval/circuit_maps.h"

namespace tovrane::test {

// Rows from row 0, six values each.
inline SquareMap mapOf(const std::array<int, kCellCount>& values) {
  SquareMap map{};
  for (int i = 0; i < kCellCount; ++i) map.at(i / kBoardSize, i % kBoardSize) = values[i];
  return map;
}

// "a b c d e f / ..." for readable failure messages.
inline std::string mapText(const int32_t (&cells)[kCellCount]) {
  std::ostringstream out;
  for (int r = 0; r < kBoardSize; ++r) {
    if (r > 0) out << " / ";
    for (int c = 0; c < kBoardSize; ++c) out << (c > 0 ? " " : "") << cells[r * kBoardSize + c];
  }
  return out.str();
}

inline std::string mapText(const SquareMap& map) { return mapText(map.cells); }

}  // namespace tovrane::test
