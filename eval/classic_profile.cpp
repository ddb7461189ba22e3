#include "eval/classic_profile.h"

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

int32_t ClassicEvaluator::evaluate(const Board& board, Side side) {
  if (side != kWhite && side != kBlack) return 0;
  buildPieceLists(board, pieceLists_);
  buildClassicCircuitMap(board, balanceMap_);
  buildClassicSafetyMap(board, pieceLists_, balanceMap_, safetyMap_);
  pieceTally_ = tallyPieces(pieceLists_, balanceMap_, classicSquareValues, classicSquareValues);
  return decideScore(side, pieceLists_, pieceTally_, safetyMap_, classic::kExposedPiecePenalty);
}

}  // namespace tovrane
