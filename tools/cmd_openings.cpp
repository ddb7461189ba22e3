// tovrane openings: random opening lines kept where engine-pro sees neither
// side ahead, written as an opening file for `match --opening-file`.

#include <iostream>
#include <ostream>
#include <string>

#include "selfplay/opening_balance.h"
#include "tools/commands.h"

namespace tovrane::cli {

namespace {

OpeningBalanceSettings settingsFrom(const Args& args) {
  OpeningBalanceSettings settings;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--count") {
      settings.count = parseInt(valueAfter(args, i), 1, 100000, "--count");
    } else if (option == "--plies") {
      settings.plies = parseInt(valueAfter(args, i), 1, 40, "--plies");
    } else if (option == "--seed") {
      settings.seed = static_cast<uint64_t>(parseInt(valueAfter(args, i), 0, 1000000000, "--seed"));
    } else if (option == "--nodes") {
      settings.nodes = static_cast<uint64_t>(parseInt(valueAfter(args, i), 100, 100000000, "--nodes"));
    } else if (option == "--margin") {
      settings.margin = parseInt(valueAfter(args, i), 0, 100000, "--margin");
    } else if (option == "--draws") {
      settings.draws = parseInt(valueAfter(args, i), 1, 10000000, "--draws");
    } else {
      throw UsageError("unknown option '" + option + "'");
    }
  }
  return settings;
}

}  // namespace

int runOpenings(Args& args, std::ostream& out) {
  const OpeningBalanceSettings settings = settingsFrom(args);
  const OpeningBalanceReport report = balancedOpenings(settings, [](const OpeningBalanceReport& so_far) {
    if (so_far.scored % 500 == 0) std::cerr << "scored " << so_far.scored << " kept " << so_far.kept.size() << std::endl;
  });
  out << "# tovrane openings: " << settings.plies << " random plies, seed " << settings.seed << ", kept where engine-pro ("
      << settings.nodes << " nodes) scores within +-" << settings.margin << ": " << report.kept.size() << " of "
      << report.scored << " scored\n";
  for (const ScoredOpening& o : report.kept) {
    out << openingText(o.line) << "  # score " << (o.score > 0 ? "+" : "") << o.score << "\n";
  }
  if (static_cast<int>(report.kept.size()) < settings.count) {
    std::cerr << "only " << report.kept.size() << " of " << settings.count
              << " lines found: try a larger --margin, more --draws or more --plies\n";
    return 1;
  }
  return 0;
}

}  // namespace tovrane::cli
