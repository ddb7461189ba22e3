#include "eval/classic_profile.h"

#include <bit>
#include <cstring>

#include "rules/capture_tables.h"

namespace tovrane {

namespace {

// A leg of a route: one whole circuit line walked in one direction, leaving
// out the crossing point that the previous leg has already visited.
struct Leg {
  bool isRow;      // a row (walked along its columns) or a column (along its rows)
  int8_t line;     // the row or column index
  bool ascending;  // 0 -> 5 or 5 -> 0
  int8_t skipRow;  // the square left out; -1 on the first leg
  int8_t skipCol;
};

constexpr Leg row(int line, bool ascending, int skipRow = -1, int skipCol = -1) {
  return Leg{true, static_cast<int8_t>(line), ascending, static_cast<int8_t>(skipRow),
             static_cast<int8_t>(skipCol)};
}
constexpr Leg col(int line, bool ascending, int skipRow = -1, int skipCol = -1) {
  return Leg{false, static_cast<int8_t>(line), ascending, static_cast<int8_t>(skipRow),
             static_cast<int8_t>(skipCol)};
}
constexpr bool kUp = true;     // ascending index: columns 0->5 or rows 0->5
constexpr bool kDown = false;  // descending index

constexpr int kLineEndCount = 16;
constexpr int kLegCount = 4;

// The routes of the line ends, in handling order. The last leg is the line
// end's own line walked from its far end, so the inward scan of the line end
// is that leg reversed.
constexpr Leg kRouteLegs[kLineEndCount][kLegCount] = {
    // column 1 top, column 1 bottom
    {row(1, kUp), col(4, kUp, 1, 4), row(4, kDown, 4, 4), col(1, kDown, 4, 1)},
    {row(4, kUp), col(4, kDown, 4, 4), row(1, kDown, 1, 4), col(1, kUp, 1, 1)},
    // column 2 top, column 2 bottom
    {row(2, kUp), col(3, kUp, 2, 3), row(3, kDown, 3, 3), col(2, kDown, 3, 2)},
    {row(3, kUp), col(3, kDown, 3, 3), row(2, kDown, 2, 3), col(2, kUp, 2, 2)},
    // column 3 top, column 3 bottom
    {row(2, kDown), col(2, kUp, 2, 2), row(3, kUp, 3, 2), col(3, kDown, 3, 3)},
    {row(3, kDown), col(2, kDown, 3, 2), row(2, kUp, 2, 2), col(3, kUp, 2, 3)},
    // column 4 top, column 4 bottom
    {row(1, kDown), col(1, kUp, 1, 1), row(4, kUp, 4, 1), col(4, kDown, 4, 4)},
    {row(4, kDown), col(1, kDown, 4, 1), row(1, kUp, 1, 1), col(4, kUp, 1, 4)},
    // row 1 left, row 1 right
    {col(1, kUp), row(4, kUp, 4, 1), col(4, kDown, 4, 4), row(1, kDown, 1, 4)},
    {col(4, kUp), row(4, kDown, 4, 4), col(1, kDown, 4, 1), row(1, kUp, 1, 1)},
    // row 2 left, row 2 right
    {col(2, kUp), row(3, kUp, 3, 2), col(3, kDown, 3, 3), row(2, kDown, 2, 3)},
    {col(3, kUp), row(3, kDown, 3, 3), col(2, kDown, 3, 2), row(2, kUp, 2, 2)},
    // row 3 left, row 3 right
    {col(2, kDown), row(2, kUp, 2, 2), col(3, kUp, 2, 3), row(3, kDown, 3, 3)},
    {col(3, kDown), row(2, kDown, 2, 3), col(2, kUp, 2, 2), row(3, kUp, 3, 2)},
    // row 4 left, row 4 right
    {col(1, kDown), row(1, kUp, 1, 1), col(4, kUp, 1, 4), row(4, kDown, 4, 4)},
    {col(4, kDown), row(1, kDown, 1, 4), col(1, kUp, 1, 1), row(4, kUp, 4, 1)},
};

constexpr int kRouteLength = kBoardSize + 3 * (kBoardSize - 1);

// A line end's inward scan and its route as flat square lists.
struct LineEndPlan {
  Square scan[kBoardSize];
  Square route[kRouteLength];
};

constexpr Square legSquare(const Leg& leg, int step) {
  const int along = leg.ascending ? step : kBoardSize - 1 - step;
  return leg.isRow ? Square{leg.line, along} : Square{along, leg.line};
}

constexpr bool onLeg(const Leg& leg, Square s) { return leg.isRow ? s.row == leg.line : s.col == leg.line; }

struct ClassicPlan {
  LineEndPlan ends[kLineEndCount];
};

constexpr ClassicPlan makeClassicPlan() {
  ClassicPlan plan{};
  for (int e = 0; e < kLineEndCount; ++e) {
    const Leg(&legs)[kLegCount] = kRouteLegs[e];
    int n = 0;
    for (int l = 0; l < kLegCount; ++l) {
      const Square skip{legs[l].skipRow, legs[l].skipCol};
      // Each later leg leaves out exactly its crossing with the leg before.
      if (l > 0 && !(onLeg(legs[l], skip) && onLeg(legs[l - 1], skip))) throw "bad skip square";
      if (l > 0 && legs[l].isRow == legs[l - 1].isRow) throw "legs must alternate";
      for (int step = 0; step < kBoardSize; ++step) {
        const Square s = legSquare(legs[l], step);
        if (l > 0 && s == skip) continue;
        plan.ends[e].route[n++] = s;
      }
    }
    if (n != kRouteLength) throw "route length";
    for (int step = 0; step < kBoardSize; ++step) {
      plan.ends[e].scan[step] = legSquare(legs[kLegCount - 1], kBoardSize - 1 - step);
    }
  }
  return plan;
}

constexpr ClassicPlan kClassicPlan = makeClassicPlan();

inline bool holdsPiece(int32_t cell) { return cell == kWhite || cell == kBlack; }

// The six squares of a row or column of mask as bits 0..5, in index order.
inline uint32_t rowBits(CellMask mask, int row) { return static_cast<uint32_t>(mask >> (row * kBoardSize)) & 63u; }
inline uint32_t columnBits(CellMask mask, int col) {
  // Bit 6r of the shifted column goes to bit 30 + r; no two products meet.
  constexpr uint64_t kGather = (uint64_t{1} << 30) | (uint64_t{1} << 25) | (uint64_t{1} << 20) |
                               (uint64_t{1} << 15) | (uint64_t{1} << 10) | (uint64_t{1} << 5);
  return static_cast<uint32_t>((((mask >> col) & columnMask(0)) * kGather) >> 30) & 63u;
}

struct Reversed6 {
  uint8_t of[64];
};
constexpr Reversed6 makeReversed6() {
  Reversed6 t{};
  for (int m = 0; m < 64; ++m) {
    for (int k = 0; k < 6; ++k) t.of[m] |= static_cast<uint8_t>(((m >> k) & 1) << (5 - k));
  }
  return t;
}
constexpr Reversed6 kReversed6 = makeReversed6();

// The plan as cell indices, for the mask version.
struct LineEndCells {
  int8_t scan[kBoardSize];
  int8_t route[kRouteLength];
  bool isRow;     // the scan runs along a row (else a column)
  int8_t line;    // its row or column
  bool reversed;  // it runs from index 5 down to 0
};

struct ClassicCells {
  LineEndCells ends[kLineEndCount];
};

constexpr ClassicCells makeClassicCells() {
  ClassicCells cells{};
  for (int e = 0; e < kLineEndCount; ++e) {
    for (int k = 0; k < kBoardSize; ++k) {
      const Square s = kClassicPlan.ends[e].scan[k];
      cells.ends[e].scan[k] = static_cast<int8_t>(s.row * kBoardSize + s.col);
    }
    for (int k = 0; k < kRouteLength; ++k) {
      const Square s = kClassicPlan.ends[e].route[k];
      cells.ends[e].route[k] = static_cast<int8_t>(s.row * kBoardSize + s.col);
    }
    const Square* scan = kClassicPlan.ends[e].scan;
    LineEndCells& end = cells.ends[e];
    end.isRow = scan[0].row == scan[kBoardSize - 1].row;
    end.line = static_cast<int8_t>(end.isRow ? scan[0].row : scan[0].col);
    end.reversed = end.isRow ? scan[0].col > scan[1].col : scan[0].row > scan[1].row;
    for (int k = 0; k < kBoardSize; ++k) {
      const int along = end.reversed ? kBoardSize - 1 - k : k;
      if (!(scan[k] == (end.isRow ? Square{end.line, along} : Square{along, end.line}))) throw "scan is not a line";
    }
  }
  return cells;
}

constexpr ClassicCells kClassicCells = makeClassicCells();

}  // namespace

void buildClassicCircuitMap(const Board& board, BalanceMap& classicMap) {
  classicMap = {};
  for (const LineEndPlan& end : kClassicPlan.ends) {
    int first = 0;
    while (first < kBoardSize && !holdsPiece(board.at(end.scan[first].row, end.scan[first].col))) ++first;
    if (first == kBoardSize) continue;
    const int32_t colour = board.at(end.scan[first].row, end.scan[first].col);
    int32_t run = 1;
    while (first + run < kBoardSize && board.at(end.scan[first + run].row, end.scan[first + run].col) == colour) {
      ++run;
    }
    const int32_t contribution = colour == kBlack ? run : -run;
    for (const Square s : end.route) {
      classicMap.at(s.row, s.col) += contribution;
      if (holdsPiece(board.at(s.row, s.col))) break;
    }
  }
}

namespace {

// Adds every line end's contribution into map; returns the sum of their
// sizes (each square gets at most twice that).
// Adds the contributions of the line ends of the chosen circuits (bit 0
// small, bit 1 large) into map; returns the sum of their sizes (each
// square gets at most twice that). A line end's scan and route stay on its
// own circuit, so its contribution depends on nothing else.
template <typename Value>
int32_t addLineEnds(const Occupancy& occ, Value* map, uint32_t circuits = 3) {
  const CellMask pieces = occ.pieces();
  // Each circuit line's squares in index order, then reversed: [isRow][line].
  uint32_t occupiedLine[2][kBoardSize] = {};
  uint32_t blackLine[2][kBoardSize] = {};
  for (int line = 1; line < kBoardSize - 1; ++line) {
    occupiedLine[1][line] = rowBits(pieces, line);
    blackLine[1][line] = rowBits(occ.black, line);
    occupiedLine[0][line] = columnBits(pieces, line);
    blackLine[0][line] = columnBits(occ.black, line);
  }
  int32_t total = 0;
  for (const LineEndCells& end : kClassicCells.ends) {
    const uint32_t circuit = end.line == 1 || end.line == kBoardSize - 2 ? 1u : 2u;
    if ((circuits & circuit) == 0) continue;
    // The line as bits in scan order: bit k is scan square k.
    uint32_t occupied = occupiedLine[end.isRow][end.line];
    if (occupied == 0) continue;
    uint32_t black = blackLine[end.isRow][end.line];
    if (end.reversed) {
      occupied = kReversed6.of[occupied];
      black = kReversed6.of[black];
    }
    const int first = std::countr_zero(occupied);
    const bool isBlack = ((black >> first) & 1) != 0;
    const uint32_t colour = isBlack ? black : occupied & ~black;
    const int32_t run = std::countr_zero(~(colour >> first));
    total += run;
    const int32_t contribution = isBlack ? run : -run;
    for (const int8_t cell : end.route) {
      map[cell] = static_cast<Value>(map[cell] + contribution);
      if (((pieces >> cell) & 1) != 0) break;
    }
  }
  return total;
}

}  // namespace

SignMasks classicMapSigns(const Occupancy& occ, ClassicMemo* memo) {
  if (memo != nullptr) {
    // Each circuit's part, remembered by the circuit's contents.
    alignas(8) int16_t map[kCellCount];
    const RingMask blackRings = ringsOf(occ.black);
    const RingMask whiteRings = ringsOf(occ.white);
    for (int circuit = 0; circuit < 2; ++circuit) {
      const uint64_t black = (blackRings >> (circuit * kLargeRingShift)) & kLapBits;
      const uint64_t white = (whiteRings >> (circuit * kLargeRingShift)) & kLapBits;
      const uint64_t key = black | (white << kLapLength) | (uint64_t{1u + static_cast<uint32_t>(circuit)} << 48);
      ClassicMemo::Slot& slot = memo->slots[(key * 0x9E3779B97F4A7C15ULL) >> (64 - ClassicMemo::kSlotBits)];
      if (slot.key != key) {
        std::memset(slot.map, 0, sizeof(slot.map));
        addLineEnds(occ, slot.map, 1u << circuit);
        slot.key = key;
      }
      for (int cell = 0; cell < kCellCount; ++cell) {
        map[cell] = static_cast<int16_t>((circuit == 0 ? 0 : map[cell]) + slot.map[cell]);
      }
    }
    return signMasks(map);
  }
  // Bytes hold the map whenever the contributions add up to at most 63
  // (a route passes a square at most twice); otherwise take 16 bits.
  alignas(8) int8_t small[40] = {};
  if (addLineEnds(occ, small) <= 63) return signMasks(small);
  alignas(8) int16_t map[kCellCount] = {};
  addLineEnds(occ, map);
  return signMasks(map);
}

int32_t ClassicEvaluator::evaluate(const Board& board, Side side) {
  if (side != kWhite && side != kBlack) return 0;
  buildPieceLists(board, pieceLists_);
  buildClassicCircuitMap(board, balanceMap_);
  buildClassicSafetyMap(board, pieceLists_, balanceMap_, safetyMap_);
  pieceTally_ = tallyPieces(pieceLists_, balanceMap_, classicSquareValues, classicSquareValues);
  return decideScore(side, pieceLists_, pieceTally_, safetyMap_, classic::kExposedPiecePenalty);
}

}  // namespace tovrane
