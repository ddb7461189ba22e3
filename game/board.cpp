#include "game/board.h"

namespace tovrane {

void resetBoard(Board& board) {
  for (int i = 0; i < kCellCount; ++i) {
    if (i < 12) {
      board.cells[i] = kBlack;
    } else if (i < 24) {
      board.cells[i] = kEmpty;
    } else {
      board.cells[i] = kWhite;
    }
  }
}

void applyMove(Board& board, Move move) {
  board.at(move.toRow, move.toCol) = board.at(move.fromRow, move.fromCol);
  board.at(move.fromRow, move.fromCol) = kEmpty;
}

Move readMoveText(const char* text) {
  Move move;
  move.fromRow = text[0] - '0';
  move.fromCol = text[1] - '0';
  move.toRow = text[2] - '0';
  move.toCol = text[3] - '0';
  return move;
}

void writeMoveText(const Move& move, char* out) {
  out[0] = static_cast<char>('0' + move.fromRow);
  out[1] = static_cast<char>('0' + move.fromCol);
  out[2] = static_cast<char>('0' + move.toRow);
  out[3] = static_cast<char>('0' + move.toCol);
}

std::string moveText(const Move& move) {
  std::string text(4, '0');
  writeMoveText(move, text.data());
  return text;
}

bool isOnBoardMoveText(std::string_view text) {
  if (text.size() < 4) return false;
  for (int i = 0; i < 4; ++i) {
    if (text[i] < '0' || text[i] > '5') return false;
  }
  return true;
}

bool moveOnBoard(const Move& move) {
  return inBounds(move.fromRow, move.fromCol) && inBounds(move.toRow, move.toCol);
}

int countPieces(const Board& board, Side side) {
  int count = 0;
  for (int32_t cell : board.cells) count += cell == side ? 1 : 0;
  return count;
}

int countPieces(const Board& board) {
  int count = 0;
  for (int32_t cell : board.cells) count += cell != kEmpty ? 1 : 0;
  return count;
}

std::string boardDigits(const Board& board) {
  std::string digits(kCellCount, '0');
  for (int i = 0; i < kCellCount; ++i) digits[i] = static_cast<char>('0' + board.cells[i]);
  return digits;
}

bool parseBoardDigits(std::string_view text, Board& board) {
  if (text.size() != static_cast<size_t>(kCellCount)) return false;
  Board parsed{};
  for (int i = 0; i < kCellCount; ++i) {
    if (text[i] < '0' || text[i] > '2') return false;
    parsed.cells[i] = text[i] - '0';
  }
  board = parsed;
  return true;
}

}  // namespace tovrane
