#include "eval/safety_map.h"

#include <bit>

namespace tovrane {

namespace {

// The on-board neighbours of every square, reached by neighbourSteps, as a
// bit set over the 36 cells (bit row * 6 + column).
struct NeighbourTable {
  uint64_t of[kCellCount];
};

constexpr NeighbourTable makeNeighbourTable() {
  NeighbourTable table{};
  for (int row = 0; row < kBoardSize; ++row) {
    for (int col = 0; col < kBoardSize; ++col) {
      for (const NeighbourStep& step : neighbourSteps) {
        const int r = row + step.rowStep;
        const int c = col + step.colStep;
        if (inBounds(r, c)) table.of[row * kBoardSize + col] |= uint64_t{1} << (r * kBoardSize + c);
      }
    }
  }
  return table;
}

constexpr NeighbourTable kNeighbours = makeNeighbourTable();

constexpr Square kSquareOfCell[kCellCount] = {
    {0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4}, {0, 5}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {1, 5},
    {2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 4}, {2, 5}, {3, 0}, {3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5},
    {4, 0}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {4, 5}, {5, 0}, {5, 1}, {5, 2}, {5, 3}, {5, 4}, {5, 5}};

// One colour's pass: the empty neighbours of its pieces that it does not
// avoid. Whether a target passes depends only on the target, so each target
// is tested once, however many pieces stand next to it, and the order of
// pieces and steps cannot change the outcome.
template <typename Avoids>
uint64_t safeTargets(const Board& board, const PieceList& list, Avoids avoids) {
  uint64_t reached = 0;
  for (int i = 0; i < list.count; ++i) {
    reached |= kNeighbours.of[list.squares[i].row * kBoardSize + list.squares[i].col];
  }
  uint64_t safe = 0;
  for (; reached != 0; reached &= reached - 1) {
    const int cell = std::countr_zero(reached);
    const uint64_t ok = static_cast<uint64_t>(board.cells[cell] == kEmpty) & (avoids(cell) ^ 1u);
    safe |= ok << cell;
  }
  return safe;
}

// The black pass, then the white pass, then the map and its counts.
template <typename BlackAvoids, typename WhiteAvoids>
void fillSafetyMap(const Board& board, const PieceLists& pieces, BlackAvoids blackAvoids,
                   WhiteAvoids whiteAvoids, SafetyMap& safetyMap) {
  const uint64_t black = safeTargets(board, pieces.black, blackAvoids);
  const uint64_t white = safeTargets(board, pieces.white, whiteAvoids);
  int32_t blackSafe = 0;
  int32_t whiteSafe = 0;
  for (int cell = 0; cell < kCellCount; ++cell) {
    const int32_t blackFlag = static_cast<int32_t>((black >> cell) & 1);
    const int32_t whiteFlag = static_cast<int32_t>((white >> cell) & 1);
    safetyMap.cells[cell] = blackFlag * kBlackSafeFlag | whiteFlag * kWhiteSafeFlag;
    blackSafe += blackFlag;
    whiteSafe += whiteFlag;
  }
  safetyMap.blackSafeSquares = blackSafe;
  safetyMap.whiteSafeSquares = whiteSafe;
}

}  // namespace

void buildPieceLists(const Board& board, PieceLists& pieces) {
  // Mark the pieces in two bit sets without branching on the cells, then
  // read the squares out in increasing cell order, which is row-major.
  uint64_t black = 0;
  uint64_t white = 0;
  for (int cell = 0; cell < kCellCount; ++cell) {
    black |= uint64_t{board.cells[cell] == kBlack} << cell;
    white |= uint64_t{board.cells[cell] == kWhite} << cell;
  }
  pieces.black.count = 0;
  pieces.white.count = 0;
  for (; black != 0; black &= black - 1) {
    pieces.black.squares[pieces.black.count++] = kSquareOfCell[std::countr_zero(black)];
  }
  for (; white != 0; white &= white - 1) {
    pieces.white.squares[pieces.white.count++] = kSquareOfCell[std::countr_zero(white)];
  }
}

void buildSafetyMap(const Board& board, const PieceLists& pieces, const ThreatMap& threatMap,
                    const BalanceMap& balanceMap, SafetyMap& safetyMap) {
  fillSafetyMap(
      board, pieces,
      [&](int cell) {
        const int32_t threat = threatMap.cells[cell];
        return static_cast<uint64_t>(balanceMap.cells[cell] < 0) &
               (static_cast<uint64_t>(threat < 0) | static_cast<uint64_t>(threat == 2));
      },
      [&](int cell) {
        return static_cast<uint64_t>(balanceMap.cells[cell] > 0) & static_cast<uint64_t>(threatMap.cells[cell] > 0);
      },
      safetyMap);
}

void buildClassicSafetyMap(const Board& board, const PieceLists& pieces, const BalanceMap& classicMap,
                           SafetyMap& safetyMap) {
  fillSafetyMap(
      board, pieces, [&](int cell) { return static_cast<uint64_t>(classicMap.cells[cell] < 0); },
      [&](int cell) { return static_cast<uint64_t>(classicMap.cells[cell] > 0); }, safetyMap);
}

}  // namespace tovrane
