#include <fstream>
#include <ostream>
#include <sstream>

#include "eval/net_eval.h"
#include "eval/pro_eval.h"
#include "tools/commands.h"

namespace tovrane::cli {

// Each line's BOARD and SIDE (the first two fields; position files of
// tovrane selfplay qualify, their comment and game lines are passed over):
// the network's score and the hand-made evaluation's, both for SIDE.
int runNetScores(Args& args, std::ostream& out) {
  std::string netPath;
  for (auto it = args.begin(); it != args.end(); ++it) {
    if (*it != "--eval-file") continue;
    if (it + 1 == args.end()) throw UsageError("--eval-file needs a value");
    netPath = *(it + 1);
    args.erase(it, it + 2);
    break;
  }
  expectCount(args, 1, "net-scores [--eval-file NET] FILE");
  static NetWeights loaded;
  std::string error;
  if (!netPath.empty() && !loadNetFile(netPath, loaded, error)) throw UsageError(error);
  const NetWeights& net = netPath.empty() ? defaultNet() : loaded;
  std::ifstream in(args[0]);
  if (!in) throw UsageError("cannot open " + args[0]);
  std::string line;
  std::string boardText;
  std::string sideText;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] < '0' || line[0] > '2') continue;
    std::istringstream fields(line);
    fields >> boardText >> sideText;
    const Board board = parseBoard(boardText);
    const Side side = parseSide(sideText);
    const Occupancy occ = occupancyOf(board);
    out << netEvaluate(net, occ, side) << " " << proEvaluate(occ, ringsOf(occ.pieces()), side) << "\n";
  }
  return 0;
}

}  // namespace tovrane::cli
