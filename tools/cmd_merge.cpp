#include <ostream>

#include "match/match_runner.h"
#include "tools/commands.h"

namespace tovrane::cli {

int runMerge(Args& args, std::ostream& out) {
  for (const std::string& arg : args) {
    if (arg.rfind("--", 0) == 0) throw UsageError("unknown option " + arg);
  }
  if (args.empty()) throw UsageError("usage: tovrane merge RECORD...");
  tovrane::mergeRecords(args, out);
  return 0;
}

}  // namespace tovrane::cli
