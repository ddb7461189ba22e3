#pragma once
// Piece lists and the neighbourhood safety map. A piece that does not
// capture steps to an empty neighbour; the SafetyMap marks, for each colour,
// the empty squares next to its pieces that it could step to without landing
// where the opponent both reaches along a circuit and outnumbers it.

#include <cstdint>

#include "eval/circuit_maps.h"
#include "game/board.h"
#include "rules/circuits.h"

namespace tovrane {

// The squares of one colour's pieces in row-major order.
struct PieceList {
  Square squares[kPiecesPerSide];
  int32_t count;
};

struct PieceLists {
  PieceList black;
  PieceList white;
};

// Fills both lists from board (cells other than 1 and 2 are no piece). The
// board must hold at most 12 pieces of each colour.
void buildPieceLists(const Board& board, PieceLists& pieces);

struct NeighbourStep {
  int32_t rowStep;
  int32_t colStep;
};

// The eight steps to a piece's neighbours, clockwise from up-left. The
// safety map does not depend on the order in which they are taken.
inline constexpr NeighbourStep neighbourSteps[8] = {{-1, -1}, {-1, 0}, {-1, +1}, {0, +1},
                                                    {+1, +1}, {+1, 0}, {+1, -1}, {0, -1}};

constexpr int32_t kBlackSafeFlag = 1;
constexpr int32_t kWhiteSafeFlag = 2;

// Each cell is 0, kBlackSafeFlag, kWhiteSafeFlag or both; the counts are the
// number of cells carrying each flag.
struct SafetyMap {
  int32_t cells[kCellCount];  // row-major like the Board
  int32_t blackSafeSquares;
  int32_t whiteSafeSquares;

  int32_t& at(int row, int col) { return cells[row * kBoardSize + col]; }
  int32_t at(int row, int col) const { return cells[row * kBoardSize + col]; }
};

// Standard profile: a black piece avoids an empty square whose balance is
// below zero and which white reaches (threat -1 or 2); a white piece avoids
// one whose balance is above zero and which black reaches (threat 1 or 2).
// pieces, threatMap and balanceMap must have been built from board.
void buildSafetyMap(const Board& board, const PieceLists& pieces, const ThreatMap& threatMap,
                    const BalanceMap& balanceMap, SafetyMap& safetyMap);

// Classic profile: the one classic map decides alone; black avoids values
// below zero, white values above zero.
void buildClassicSafetyMap(const Board& board, const PieceLists& pieces, const BalanceMap& classicMap,
                           SafetyMap& safetyMap);

}  // namespace tovrane
