#pragma once
// The tovrane subcommands; each takes its arguments (subcommand name removed).
// To add one: declare its run function here, define it in a cmd_*.cpp file,
// and add its entry (name, usage, summary, help) to the table in commands.cpp.

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
int runAnalyse(Args& args, std::ostream& out);
int runDiagram(Args& args, std::ostream& out);
int runMerge(Args& args, std::ostream& out);
int runServe(Args& args, std::ostream& out);
int runBook(Args& args, std::ostream& out);
int runSelfplay(Args& args, std::ostream& out);
int runTune(Args& args, std::ostream& out);
int runNetScores(Args& args, std::ostream& out);
int runProofCheck(Args& args, std::ostream& out);
int runOpenings(Args& args, std::ostream& out);

// Texts too long for the table, kept beside their command.
extern const char* const kMatchUsage;
extern const char* const kMatchHelp;
extern const char* const kAnalyseUsage;
extern const char* const kBookHelp;
extern const char* const kSelfplayUsage;
extern const char* const kSelfplayHelp;

}  // namespace tovrane::cli
