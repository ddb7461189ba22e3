#include "eval/safety_map.h"

namespace tovrane {

namespace {

// The on-board neighbours of every square, in neighbourSteps order.
struct Neighbours {
  int32_t count;
  Square squares[8];
};

struct NeighbourTable {
  Neighbours of[kBoardSize][kBoardSize];
};

constexpr NeighbourTable makeNeighbourTable() {
  NeighbourTable table{};
  for (int row = 0; row < kBoardSize; ++row) {
    for (int col = 0; col < kBoardSize; ++col) {
      Neighbours& n = table.of[row][col];
      for (const NeighbourStep& step : neighbourSteps) {
        const int r = row + step.rowStep;
        const int c = col + step.colStep;
        if (inBounds(r, c)) n.squares[n.count++] = Square{r, c};
      }
    }
  }
  return table;
}

constexpr NeighbourTable kNeighbours = makeNeighbourTable();

// The black pass, then the white pass; each flag is counted when it is first
// set, which gives the same counts as a final pass over the map.
template <typename BlackAvoids, typename WhiteAvoids>
void fillSafetyMap(const Board& board, const PieceLists& pieces, BlackAvoids blackAvoids,
                   WhiteAvoids whiteAvoids, SafetyMap& safetyMap) {
  safetyMap = {};
  for (int i = 0; i < pieces.black.count; ++i) {
    const Square from = pieces.black.squares[i];
    const Neighbours& n = kNeighbours.of[from.row][from.col];
    for (int j = 0; j < n.count; ++j) {
      const Square to = n.squares[j];
      if (board.at(to.row, to.col) != kEmpty || blackAvoids(to.row, to.col)) continue;
      int32_t& cell = safetyMap.cells[to.row][to.col];
      safetyMap.blackSafeSquares += cell == 0 ? 1 : 0;
      cell = kBlackSafeFlag;
    }
  }
  for (int i = 0; i < pieces.white.count; ++i) {
    const Square from = pieces.white.squares[i];
    const Neighbours& n = kNeighbours.of[from.row][from.col];
    for (int j = 0; j < n.count; ++j) {
      const Square to = n.squares[j];
      if (board.at(to.row, to.col) != kEmpty || whiteAvoids(to.row, to.col)) continue;
      int32_t& cell = safetyMap.cells[to.row][to.col];
      if ((cell & kWhiteSafeFlag) == 0) {
        cell |= kWhiteSafeFlag;
        ++safetyMap.whiteSafeSquares;
      }
    }
  }
}

}  // namespace

void buildPieceLists(const Board& board, PieceLists& pieces) {
  pieces.black.count = 0;
  pieces.white.count = 0;
  for (int row = 0; row < kBoardSize; ++row) {
    for (int col = 0; col < kBoardSize; ++col) {
      const int32_t cell = board.at(row, col);
      if (cell == kBlack) {
        pieces.black.squares[pieces.black.count++] = Square{row, col};
      } else if (cell == kWhite) {
        pieces.white.squares[pieces.white.count++] = Square{row, col};
      }
    }
  }
}

void buildSafetyMap(const Board& board, const PieceLists& pieces, const ThreatMap& threatMap,
                    const BalanceMap& balanceMap, SafetyMap& safetyMap) {
  fillSafetyMap(
      board, pieces,
      [&](int row, int col) {
        const int32_t threat = threatMap.cells[row][col];
        return balanceMap.cells[row][col] < 0 && (threat < 0 || threat == 2);
      },
      [&](int row, int col) { return balanceMap.cells[row][col] > 0 && threatMap.cells[row][col] > 0; },
      safetyMap);
}

void buildClassicSafetyMap(const Board& board, const PieceLists& pieces, const BalanceMap& classicMap,
                           SafetyMap& safetyMap) {
  fillSafetyMap(
      board, pieces, [&](int row, int col) { return classicMap.cells[row][col] < 0; },
      [&](int row, int col) { return classicMap.cells[row][col] > 0; }, safetyMap);
}

}  // namespace tovrane
