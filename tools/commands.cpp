#include "tools/commands.h"

namespace tovrane::cli {

// The subcommands in the order --help lists them.
const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      {"moves", "moves BOARD SIDE", "print the generator's move list in generation order", runMoves},
      {"perft", "perft BOARD SIDE DEPTH", "count distinct legal move sequences of length DEPTH", runPerft},
      {"divide", "divide BOARD SIDE DEPTH", "perft split by root move, then the total", runDivide},
  };
  return table;
}

}  // namespace tovrane::cli
