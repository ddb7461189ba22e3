#include "rules/move_generator.h"

#include "rules/circuits.h"
#include "rules/mask_move_generator.h"

namespace tovrane {

namespace {

// For every square, the (track, start entry) pairs whose first-lap entry is
// that square, in the order the generator walks them.
struct CaptureStart {
  int8_t track;
  int8_t entry;
};
constexpr int kMaxStartsPerSquare = 4;
struct CaptureStarts {
  CaptureStart starts[kCellCount][kMaxStartsPerSquare];
  int8_t count[kCellCount];
};

constexpr CaptureStarts buildCaptureStarts() {
  CaptureStarts table{};
  for (int t = 0; t < kTrackCount; ++t) {
    for (int i = 0; i < kLapLength; ++i) {
      const Square sq = kCaptureTracks[t]->entries[i];
      const int cell = sq.row * kBoardSize + sq.col;
      table.starts[cell][table.count[cell]++] = {static_cast<int8_t>(t), static_cast<int8_t>(i)};
    }
  }
  return table;
}
constexpr CaptureStarts kCaptureStarts = buildCaptureStarts();

// kLoopBefore[t][k]: the step from entry k - 1 to entry k passes a corner loop.
struct LoopFlags {
  bool before[kTrackCount][kTrackLength];
};
constexpr LoopFlags buildLoopFlags() {
  LoopFlags flags{};
  for (int t = 0; t < kTrackCount; ++t) {
    for (int k = 1; k < kTrackLength; ++k) {
      flags.before[t][k] = isLoopPassage(kCaptureTracks[t]->entries[k - 1], kCaptureTracks[t]->entries[k]);
    }
  }
  return flags;
}
constexpr LoopFlags kLoopFlags = buildLoopFlags();

// Walks track t from start entry i over empty squares and returns the cell
// index of the first piece met, with whether a loop was passed on the way
// (the step onto that piece included); -1 when the walk meets nothing.
// A lap from i + 1 to i + 24 visits every square of the circuit; the entries
// after that repeat squares already found empty, so the walk may stop there.
inline int walkToFirstPiece(const Board& board, int t, int i, bool& loopPassed) {
  const CircuitTrack& track = *kCaptureTracks[t];
  loopPassed = false;
  for (int k = i + 1; k <= i + kLapLength; ++k) {
    loopPassed = loopPassed || kLoopFlags.before[t][k];
    const Square sq = track.entries[k];
    const int cell = sq.row * kBoardSize + sq.col;
    if (board.cells[cell] != kEmpty) return cell;
  }
  return -1;
}

}  // namespace

void MoveList::addMove(int fromRow, int fromCol, int toRow, int toCol) {
  if (!inBounds(fromRow, fromCol) || !inBounds(toRow, toCol)) return;
  const Move move{fromRow, toRow, fromCol, toCol};
  if (lastIndex >= 0 && moves[lastIndex] == move) return;
  if (lastIndex + 1 >= kMaxMoves) return;
  moves[++lastIndex] = move;
}

void MoveList::addStepMoves(int row, int col) {
  for (int d = 0; d < kDirectionCount; ++d) {
    const int r = row + stepDirections.dr[d];
    const int c = col + stepDirections.dc[d];
    if (inBounds(r, c) && board.at(r, c) == kEmpty) addMove(row, col, r, c);
  }
}

void MoveList::addCaptureMoves(int row, int col) {
  const int cell = row * kBoardSize + col;
  const int32_t own = board.cells[cell];
  // The moving piece's own square counts as empty while it travels.
  board.cells[cell] = kEmpty;
  for (int s = 0; s < kCaptureStarts.count[cell]; ++s) {
    const CaptureStart start = kCaptureStarts.starts[cell][s];
    bool loopPassed = false;
    const int target = walkToFirstPiece(board, start.track, start.entry, loopPassed);
    if (target >= 0 && loopPassed && board.cells[target] != own) {
      addMove(row, col, target / kBoardSize, target % kBoardSize);
    }
  }
  board.cells[cell] = own;
}

void MoveList::generateMoves(const Board& position, Side side) {
  board = position;
  CellMove found[kMaxMoves];
  const int count = generateCellMoves(occupancyOf(position), side, found);
  for (int i = 0; i < count; ++i) moves[i] = toMove(found[i]);
  lastIndex = count - 1;
}

bool hasAnyMove(const Board& position, Side side) { return hasAnyCellMove(occupancyOf(position), side); }

bool isLegalMove(const Board& position, Side side, const Move& move) {
  MoveList list;
  list.generateMoves(position, side);
  for (int i = 0; i <= list.lastIndex; ++i) {
    if (list.moves[i] == move) return true;
  }
  return false;
}

}  // namespace tovrane
