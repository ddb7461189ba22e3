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
  };
  return table;
}

}  // namespace tovrane::cli
