#pragma once
// The shared vocabulary of the engine: the 6x6 Board, the two Sides, the
// Move record and its four-digit text form.

#include <cstdint>
#include <string>
#include <string_view>

namespace tovrane {

constexpr int kBoardSize = 6;
constexpr int kCellCount = kBoardSize * kBoardSize;
constexpr int kPiecesPerSide = 12;

// A cell holds 0 (empty) or the Side of the piece on it.
using Side = int32_t;
constexpr Side kWhite = 1;
constexpr Side kBlack = 2;
constexpr int32_t kEmpty = 0;

constexpr Side opponent(Side side) { return side ^ 3; }

// 36 cells in row-major order; row 0 is black's home edge, row 5 white's.
struct Board {
  int32_t cells[kCellCount];

  int32_t& at(int row, int col) { return cells[row * kBoardSize + col]; }
  int32_t at(int row, int col) const { return cells[row * kBoardSize + col]; }
  bool operator==(const Board&) const = default;
};

// Field order is rows first, then columns; the text form alternates them.
struct Move {
  int32_t fromRow;
  int32_t toRow;
  int32_t fromCol;
  int32_t toCol;
  bool operator==(const Move&) const = default;
};

constexpr bool inBounds(int row, int col) {
  return row >= 0 && row < kBoardSize && col >= 0 && col < kBoardSize;
}

// Black on rows 0 and 1, white on rows 4 and 5.
void resetBoard(Board& board);

// Exactly two writes, in this order: the destination takes the source's value,
// then the source is emptied. No checks: the coordinates must lie in 0..5.
void applyMove(Board& board, Move move);

// Text form "fromRow fromCol toRow toCol" as four digits, e.g. 4131.
// Reading takes the first four characters unchecked.
Move readMoveText(const char* text);
void writeMoveText(const Move& move, char* out);
std::string moveText(const Move& move);

// True when text starts with four characters '0'..'5', so that reading it
// gives a Move whose coordinates all lie on the board.
bool isOnBoardMoveText(std::string_view text);

bool moveOnBoard(const Move& move);

int countPieces(const Board& board, Side side);
int countPieces(const Board& board);

// The 36-digit form used by book file names: '0' + cell, row-major.
std::string boardDigits(const Board& board);

// Reads 36 characters '0', '1', '2'. Returns false on any other input.
bool parseBoardDigits(std::string_view text, Board& board);

}  // namespace tovrane
