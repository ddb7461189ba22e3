#include "match/openings.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "rules/move_generator.h"
#include "rules/perft.h"

namespace tovrane {

namespace {

// Draws per line before a duplicate of an earlier line is accepted.
constexpr int kDrawsPerLine = 200;

}  // namespace

std::string checkOpening(const OpeningLine& line) {
  Board board{};
  resetBoard(board);
  Side side = kBlack;
  std::vector<std::pair<Board, Side>> seen;
  for (size_t i = 0; i < line.size(); ++i) {
    for (const auto& [b, s] : seen) {
      if (b == board && s == side) return "position before move " + std::to_string(i + 1) + " occurs twice";
    }
    seen.emplace_back(board, side);
    if (!isLegalMove(board, side, line[i])) {
      return "move " + std::to_string(i + 1) + " (" + moveText(line[i]) + ") is not legal";
    }
    applyMove(board, line[i]);
    side = opponent(side);
  }
  if (!hasAnyMove(board, side)) return "the side to move after the line has no move";
  return "";
}

std::vector<OpeningLine> randomOpenings(int count, int plies, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<OpeningLine> lines;
  MoveList list;
  Move moves[kMaxMoves];
  while (static_cast<int>(lines.size()) < count) {
    OpeningLine chosen;
    bool found = false;
    bool fresh = false;
    for (int draw = 0; draw < kDrawsPerLine && !fresh; ++draw) {
      OpeningLine line;
      Board board{};
      resetBoard(board);
      Side side = kBlack;
      for (int ply = 0; ply < plies; ++ply) {
        list.generateMoves(board, side);
        const int n = distinctMoves(list, moves);
        if (n == 0) break;
        const Move m = moves[rng() % static_cast<uint64_t>(n)];
        line.push_back(m);
        applyMove(board, m);
        side = opponent(side);
      }
      if (static_cast<int>(line.size()) != plies || !checkOpening(line).empty()) continue;
      fresh = true;
      for (const OpeningLine& earlier : lines) fresh = fresh && earlier != line;
      if (fresh || !found) chosen = line;
      found = true;
    }
    if (!found) throw std::runtime_error("no usable opening line of " + std::to_string(plies) + " plies found");
    lines.push_back(chosen);
  }
  return lines;
}

bool parseOpeningLine(const std::string& text, OpeningLine& line) {
  line.clear();
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    if (word.size() != 4) return false;
    for (char ch : word) {
      if (ch < '0' || ch > '9') return false;
    }
    line.push_back(readMoveText(word.c_str()));
  }
  return true;
}

std::vector<OpeningLine> readOpeningFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read opening file " + path);
  std::vector<OpeningLine> lines;
  std::string text;
  int number = 0;
  while (std::getline(in, text)) {
    ++number;
    text = text.substr(0, text.find('#'));  // a comment runs to the line's end
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    OpeningLine line;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (!parseOpeningLine(text, line)) throw std::runtime_error(where + "moves must be four digits");
    const std::string problem = checkOpening(line);
    if (!problem.empty()) throw std::runtime_error(where + problem);
    lines.push_back(line);
  }
  if (lines.empty()) throw std::runtime_error("opening file " + path + " holds no lines");
  return lines;
}

std::string openingText(const OpeningLine& line) {
  std::string text;
  for (const Move& m : line) {
    if (!text.empty()) text += ' ';
    text += moveText(m);
  }
  return text;
}

}  // namespace tovrane
