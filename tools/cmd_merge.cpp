#include <ostream>

#include "match/match_runner.h"
#include "tools/commands.h"

namespace tovrane::cli {

namespace {

double sprtNumber(const Args& args, size_t& i, double low, double high, const std::string& what) {
  if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
  const std::string& text = args[++i];
  size_t used = 0;
  double value = 0;
  try {
    value = std::stod(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || !(value >= low && value <= high)) {
    throw UsageError(what + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", got '" + text + "'");
  }
  return value;
}

}  // namespace

int runMerge(Args& args, std::ostream& out) {
  std::vector<std::string> paths;
  std::optional<SprtSetup> sprt;
  SprtSetup setup;
  setup.on = true;
  bool tuned = false;  // --alpha, --beta or --sprt-model given
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--sprt") {
      setup.elo0 = sprtNumber(args, i, -1000, 1000, "ELO0");
      setup.elo1 = sprtNumber(args, i, -1000, 1000, "ELO1");
      if (!(setup.elo0 < setup.elo1)) throw UsageError("--sprt needs ELO0 < ELO1");
      sprt = setup;
    } else if (arg == "--alpha") {
      setup.alpha = sprtNumber(args, i, 0.0001, 0.5, "--alpha");
      tuned = true;
    } else if (arg == "--beta") {
      setup.beta = sprtNumber(args, i, 0.0001, 0.5, "--beta");
      tuned = true;
    } else if (arg == "--sprt-model") {
      if (i + 1 >= args.size()) throw UsageError("--sprt-model needs a value");
      const std::string& model = args[++i];
      if (model != "pentanomial" && model != "trinomial") {
        throw UsageError("--sprt-model must be pentanomial or trinomial, got '" + model + "'");
      }
      setup.trinomial = model == "trinomial";
      tuned = true;
    } else if (arg.rfind("--", 0) == 0) {
      throw UsageError("unknown option " + arg);
    } else {
      paths.push_back(arg);
    }
  }
  if (tuned && !sprt) throw UsageError("--alpha, --beta and --sprt-model go with --sprt ELO0 ELO1");
  if (sprt) {
    // The options may come in any order: the last values count.
    setup.elo0 = sprt->elo0;
    setup.elo1 = sprt->elo1;
    sprt = setup;
  }
  if (paths.empty()) {
    throw UsageError("usage: tovrane merge RECORD... [--sprt ELO0 ELO1 [--alpha A] [--beta B] [--sprt-model M]]");
  }
  tovrane::mergeRecords(paths, out, sprt);
  return 0;
}

}  // namespace tovrane::cli
