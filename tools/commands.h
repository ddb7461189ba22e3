#pragma once
// The tovrane subcommands; each takes its arguments (subcommand name removed).

#include <iosfwd>

#include "tools/cli.h"

namespace tovrane::cli {

int runMoves(Args& args, std::ostream& out);
int runPerft(Args& args, std::ostream& out);
int runDivide(Args& args, std::ostream& out);
int runEval(Args& args, std::ostream& out);
int runMaps(Args& args, std::ostream& out);
int runChoose(Args& args, std::ostream& out);
int runBench(Args& args, std::ostream& out);
int runMatch(Args& args, std::ostream& out);
int runReplay(Args& args, std::ostream& out);

}  // namespace tovrane::cli
