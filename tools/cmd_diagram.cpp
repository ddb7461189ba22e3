#include <cstdio>
#include <ostream>
#include <string>

#include "rules/circuits.h"
#include "tools/commands.h"

namespace tovrane::cli {

namespace {

// Points of the board are drawn kStep apart; the loops (up to two steps
// wide) and the labels lie in the margin around them.
constexpr int kStep = 60;
constexpr int kMargin = 170;
constexpr int kSize = 2 * kMargin + (kBoardSize - 1) * kStep;

int px(int col) { return kMargin + col * kStep; }
int py(int row) { return kMargin + row * kStep; }

std::string point(const Square& s) { return std::to_string(px(s.col)) + " " + std::to_string(py(s.row)); }

// The corner a loop passage turns round: the board corner next to both of
// its squares (each lies on an edge; their shared edge coordinates meet there).
Square loopCorner(const Square& a, const Square& b) {
  const bool aOnRowEdge = a.row == 0 || a.row == kBoardSize - 1;
  const bool aOnColEdge = a.col == 0 || a.col == kBoardSize - 1;
  return {aOnRowEdge ? a.row : b.row, aOnColEdge ? a.col : b.col};
}

// One circuit as a closed SVG path: straight along its rows and columns,
// three-quarter circles round the board's corners for its loops.
std::string ringPath(const CircuitRing& ring) {
  std::string d = "M " + point({ring.rows[0], ring.cols[0]});
  for (int k = 1; k <= kLapLength; ++k) {
    const Square from{ring.rows[k - 1], ring.cols[k - 1]};
    const Square to{ring.rows[k % kLapLength], ring.cols[k % kLapLength]};
    if (!isLoopPassage(from, to)) {
      d += " L " + point(to);
      continue;
    }
    const Square c = loopCorner(from, to);
    const int radius = (std::abs(from.row - c.row) + std::abs(from.col - c.col)) * kStep;
    // The short way round the corner runs inside the board; the loop takes
    // the long way, outside it. On screen (y down) a positive cross product
    // means the short way turns clockwise, so the loop turns the other way.
    const long cross = static_cast<long>(from.col - c.col) * (to.row - c.row) -
                       static_cast<long>(from.row - c.row) * (to.col - c.col);
    d += " A " + std::to_string(radius) + " " + std::to_string(radius) + " 0 1 " + (cross > 0 ? "0 " : "1 ") +
         point(to);
  }
  return d + " Z";
}

// The rows (or columns) a ring runs along from end to end: those holding
// a whole line of its entries.
std::string ringLines(const CircuitRing& ring, bool rows) {
  std::string text;
  for (int line = 0; line < kBoardSize; ++line) {
    int count = 0;
    for (int k = 0; k < kLapLength; ++k) count += (rows ? ring.rows[k] : ring.cols[k]) == line;
    if (count >= kBoardSize) text.append(text.empty() ? "" : " and ").append(std::to_string(line));
  }
  return text;
}

void text(std::ostream& out, int x, int y, const std::string& body, const char* extra = "") {
  out << "  <text x=\"" << x << "\" y=\"" << y << "\"" << extra << ">" << body << "</text>\n";
}

}  // namespace

int runDiagram(Args& args, std::ostream& out) {
  expectCount(args, args.size() == 1 ? 1 : 0, "diagram [BOARD]");
  Board board{};
  if (args.size() == 1) board = parseBoard(args[0]);
  const char* kSmall = "#1f6fb2";
  const char* kLarge = "#c2410c";
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kSize << "\" height=\"" << kSize + 60
      << "\" viewBox=\"0 0 " << kSize << " " << kSize + 60 << "\" font-family=\"sans-serif\" font-size=\"16\">\n";
  out << "  <rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  // Every row and column: the lines a step may follow (diagonal steps too).
  for (int i = 0; i < kBoardSize; ++i) {
    out << "  <line x1=\"" << px(0) << "\" y1=\"" << py(i) << "\" x2=\"" << px(kBoardSize - 1) << "\" y2=\"" << py(i)
        << "\" stroke=\"#bbbbbb\"/>\n";
    out << "  <line x1=\"" << px(i) << "\" y1=\"" << py(0) << "\" x2=\"" << px(i) << "\" y2=\""
        << py(kBoardSize - 1) << "\" stroke=\"#bbbbbb\"/>\n";
    text(out, px(i), kMargin - 132, std::to_string(i), " text-anchor=\"middle\"");
    text(out, kMargin - 140, py(i) + 6, std::to_string(i), " text-anchor=\"middle\"");
  }
  out << "  <path d=\"" << ringPath(largeRing) << "\" fill=\"none\" stroke=\"" << kLarge
      << "\" stroke-width=\"4\" stroke-opacity=\"0.8\"/>\n";
  out << "  <path d=\"" << ringPath(smallRing) << "\" fill=\"none\" stroke=\"" << kSmall
      << "\" stroke-width=\"4\" stroke-opacity=\"0.8\"/>\n";
  for (int r = 0; r < kBoardSize; ++r) {
    for (int c = 0; c < kBoardSize; ++c) {
      const int32_t cell = board.at(r, c);
      const char* fill = cell == kBlack ? "#222222" : cell == kWhite ? "#f4f4f4" : "#888888";
      const int radius = cell == kEmpty ? 4 : 17;
      out << "  <circle cx=\"" << px(c) << "\" cy=\"" << py(r) << "\" r=\"" << radius << "\" fill=\"" << fill
          << "\" stroke=\"#222222\"/>\n";
    }
  }
  text(out, 10, 20, "row \\ column", "");
  text(out, 20, kSize + 20,
       "small circuit: rows " + ringLines(smallRing, true) + ", columns " + ringLines(smallRing, false),
       std::string(" fill=\"").append(kSmall).append("\"").c_str());
  text(out, 20, kSize + 45,
       "large circuit: rows " + ringLines(largeRing, true) + ", columns " + ringLines(largeRing, false),
       std::string(" fill=\"").append(kLarge).append("\"").c_str());
  out << "</svg>\n";
  return 0;
}

}  // namespace tovrane::cli
