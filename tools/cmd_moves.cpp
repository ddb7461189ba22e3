#include <ostream>

#include "rules/move_generator.h"
#include "rules/perft.h"
#include "tools/commands.h"

namespace tovrane::cli {

namespace {
constexpr int kMaxPerftDepth = 12;
}

int runMoves(Args& args, std::ostream& out) {
  expectCount(args, 2, "moves BOARD SIDE");
  const Board board = parseBoard(args[0]);
  const Side side = parseSide(args[1]);
  MoveList list;
  list.generateMoves(board, side);
  for (int i = 0; i <= list.lastIndex; ++i) out << moveText(list.moves[i]) << "\n";
  return 0;
}

int runPerft(Args& args, std::ostream& out) {
  expectCount(args, 3, "perft BOARD SIDE DEPTH");
  Board board = parseBoard(args[0]);
  const Side side = parseSide(args[1]);
  const int depth = parseInt(args[2], 0, kMaxPerftDepth, "DEPTH");
  out << perft(board, side, depth) << "\n";
  return 0;
}

int runDivide(Args& args, std::ostream& out) {
  expectCount(args, 3, "divide BOARD SIDE DEPTH");
  Board board = parseBoard(args[0]);
  const Side side = parseSide(args[1]);
  const int depth = parseInt(args[2], 1, kMaxPerftDepth, "DEPTH");
  MoveList list;
  list.generateMoves(board, side);
  Move moves[kMaxMoves];
  const int count = distinctMoves(list, moves);
  uint64_t total = 0;
  for (int i = 0; i < count; ++i) {
    const Move& m = moves[i];
    Board child = board;
    applyMove(child, m);
    const uint64_t n = perft(child, opponent(side), depth - 1);
    out << moveText(m) << " " << n << "\n";
    total += n;
  }
  out << "total " << total << "\n";
  return 0;
}

}  // namespace tovrane::cli
