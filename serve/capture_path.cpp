#include "serve/capture_path.h"

namespace tovrane {

std::vector<Square> capturePath(const Board& board, const Move& move) {
  if (!moveOnBoard(move)) return {};
  const Square from{move.fromRow, move.fromCol};
  const Square to{move.toRow, move.toCol};
  const int32_t own = board.at(from.row, from.col);
  if (own == kEmpty) return {};
  // The moving piece's own square counts as empty while it travels.
  Board walk = board;
  walk.at(from.row, from.col) = kEmpty;
  for (const CircuitTrack* track : kCaptureTracks) {
    for (int start = 0; start < kLapLength; ++start) {
      if (!(track->entries[start] == from)) continue;
      bool looped = false;
      for (int k = start + 1; k < kTrackLength; ++k) {
        const Square here = track->entries[k];
        if (isLoopPassage(track->entries[k - 1], here)) looped = true;
        const int32_t cell = walk.at(here.row, here.col);
        if (cell == kEmpty) continue;
        if (looped && cell != own && here == to) {
          return std::vector<Square>(track->entries + start, track->entries + k + 1);
        }
        break;
      }
    }
  }
  return {};
}

}  // namespace tovrane
