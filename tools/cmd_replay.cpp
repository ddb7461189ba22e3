#include <cstdio>
#include <fstream>
#include <ostream>
#include <stdexcept>

#include "rules/move_generator.h"
#include "tools/commands.h"
#include "match/game_record.h"

namespace tovrane::cli {

namespace {

char cellMark(int32_t cell) {
  if (cell == kBlack) return 'x';
  if (cell == kWhite) return 'o';
  return '.';
}

void printBoard(const Board& board, std::ostream& out) {
  out << "     0 1 2 3 4 5\n";
  for (int r = 0; r < kBoardSize; ++r) {
    out << "  " << r << " ";
    for (int c = 0; c < kBoardSize; ++c) out << ' ' << cellMark(board.at(r, c));
    out << "\n";
  }
}

const char* sideWord(Side side) { return side == kWhite ? "white" : "black"; }

// "thought: -0.35 at depth 8, 12345 nodes, expecting 4232 1121".
std::string thinkingText(const Thinking& t) {
  std::string text = "thought: ";
  if (t.score.kind == ThinkingScore::Kind::kCentis) {
    char score[32];
    std::snprintf(score, sizeof score, "%+.2f", t.score.value / 100.0);
    text += score;
  } else {
    text += std::string(t.score.kind == ThinkingScore::Kind::kWin ? "a win" : "a loss") + " in " +
            std::to_string(t.score.value) + " plies";
  }
  text += " at depth " + std::to_string(t.depth);
  if (t.nodes) text += ", " + std::to_string(*t.nodes) + " nodes";
  if (!t.pv.empty()) {
    text += ", expecting";
    for (const Move& m : t.pv) text.append(" ").append(moveText(m));
  }
  return text;
}

}  // namespace

int runReplay(Args& args, std::ostream& out) {
  expectCount(args, args.size() == 2 ? 2 : 1, "replay FILE [GAME]");
  std::ifstream in(args[0]);
  if (!in) throw UsageError("cannot read record file " + args[0]);
  std::vector<GameRecord> games;
  try {
    games = readGameRecords(in);
  } catch (const std::runtime_error& e) {
    throw UsageError(args[0] + ": " + e.what());
  }
  if (games.empty()) throw UsageError(args[0] + " holds no games");
  const int wanted = args.size() == 2 ? parseInt(args[1], 1, 1000000000, "GAME") : games.front().number;
  const GameRecord* game = nullptr;
  for (const GameRecord& g : games) {
    if (g.number == wanted) game = &g;
  }
  if (game == nullptr) throw UsageError(args[0] + " holds no game " + std::to_string(wanted));

  out << "game " << game->number << ": black " << game->blackName << ", white " << game->whiteName << "\n"
      << "opening " << (game->opening.empty() ? "(none)" : openingText(game->opening)) << "\n"
      << "x black, o white; moves are from-row from-col to-row to-col\n\n";
  Board board{};
  resetBoard(board);
  Side side = kBlack;
  out << "start, black to move\n";
  printBoard(board, out);
  for (int i = 0; i < game->plies(); ++i) {
    const PlayedMove& played = game->moves[static_cast<size_t>(i)];
    const Move& m = played.move;
    if (!isLegalMove(board, side, m)) {
      throw std::runtime_error("move " + std::to_string(i + 1) + " (" + moveText(m) + ") is not legal here");
    }
    const bool capture = board.at(m.toRow, m.toCol) != kEmpty;
    applyMove(board, m);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", played.seconds);
    out << "\nply " << i + 1 << ": " << sideWord(side) << " " << moveText(m) << (capture ? " captures" : "") << " ("
        << seconds << " s), " << sideWord(opponent(side)) << " to move\n";
    if (played.thinking) out << "  " << thinkingText(*played.thinking) << "\n";
    printBoard(board, out);
    side = opponent(side);
  }
  const std::string result = game->end == GameEnd::kUnfinished ? "none"
                             : game->winner == 0                ? "draw"
                                                                : resultWord(game->winner) + " wins";
  out << "\nresult: " << result << ", " << game->reason << "\n";
  return 0;
}

}  // namespace tovrane::cli
