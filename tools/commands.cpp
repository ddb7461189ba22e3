#include "tools/commands.h"

namespace tovrane::cli {

// The subcommands in the order --help lists them.
const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      {"moves", "moves BOARD SIDE", "print the generator's move list in generation order", runMoves},
      {"perft", "perft BOARD SIDE DEPTH", "count distinct legal move sequences of length DEPTH", runPerft},
      {"divide", "divide BOARD SIDE DEPTH", "perft split by root move, then the total", runDivide},
      {"eval", "eval BOARD SIDE [--classic]", "static score for SIDE to move; --classic: classic profile", runEval},
      {"maps", "maps BOARD [--classic]", "threat, balance, safety maps, safe counts; --classic: classic map as balance, no threat", runMaps},
      {"choose", "choose BOARD SIDE [--deep | --classic]",
       "search only (no book): print the chosen move or none; depth, score, nodes and time on stderr",
       runChoose},
      {"bench", "bench [--deep | --classic]",
       "search the fixed benchmark positions; print moves, scores, speed and a behaviour signature",
       runBench},
      {"match", "match --engine cmd=PROGRAM ... --engine cmd=PROGRAM ... [options]",
       "play games between two engine programs and report the result (see match --help)", runMatch},
      {"replay", "replay FILE [GAME]", "show a recorded game move by move as boards", runReplay},
  };
  return table;
}

}  // namespace tovrane::cli
