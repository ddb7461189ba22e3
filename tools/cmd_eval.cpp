#include <ostream>

#include "eval/circuit_maps.h"
#include "eval/classic_profile.h"
#include "eval/evaluator.h"
#include "eval/safety_map.h"
#include "tools/commands.h"

namespace tovrane::cli {

namespace {

void printMap(std::ostream& out, const char* heading, const int32_t (&cells)[kCellCount]) {
  out << heading << "\n";
  for (int row = 0; row < kBoardSize; ++row) {
    for (int col = 0; col < kBoardSize; ++col) out << (col == 0 ? "" : " ") << cells[row * kBoardSize + col];
    out << "\n";
  }
}

void printSafety(std::ostream& out, const SafetyMap& safetyMap) {
  printMap(out, "safety", safetyMap.cells);
  out << "safe black " << safetyMap.blackSafeSquares << " white " << safetyMap.whiteSafeSquares << "\n";
}

}  // namespace

int runEval(Args& args, std::ostream& out) {
  const bool classic = takeFlag(args, "--classic");
  expectCount(args, 2, "eval BOARD SIDE [--classic]");
  const Board board = parseBoard(args[0]);
  const Side side = parseSide(args[1]);
  if (classic) {
    ClassicEvaluator evaluator;
    out << evaluator.evaluate(board, side) << "\n";
  } else {
    Evaluator evaluator;
    out << evaluator.evaluate(board, side) << "\n";
  }
  return 0;
}

int runMaps(Args& args, std::ostream& out) {
  const bool classic = takeFlag(args, "--classic");
  expectCount(args, 1, "maps BOARD [--classic]");
  const Board board = parseBoard(args[0]);
  // The maps do not depend on the side to move.
  if (classic) {
    ClassicEvaluator evaluator;
    evaluator.evaluate(board, kBlack);
    printMap(out, "balance", evaluator.balanceMap().cells);
    printSafety(out, evaluator.safetyMap());
  } else {
    Evaluator evaluator;
    evaluator.evaluate(board, kBlack);
    printMap(out, "threat", evaluator.threatMap().cells);
    printMap(out, "balance", evaluator.balanceMap().cells);
    printSafety(out, evaluator.safetyMap());
  }
  return 0;
}

}  // namespace tovrane::cli
