// tovrane proofcheck: engine-pro's claimed wins and losses against a plain
// search that knows the rules and the game's real history.

#include <iostream>
#include <ostream>
#include <string>

#include "selfplay/proof_check.h"
#include "tools/commands.h"

namespace tovrane::cli {

namespace {

GameRules presetNamed(const std::string& name) {
  const std::optional<GameRules> rules = rulesByName(name);
  if (rules) return *rules;
  std::string names;
  for (const RulesPreset& preset : rulesPresets()) names += std::string(names.empty() ? "" : ", ") + preset.name;
  throw UsageError("--rules must be one of " + names + ", got '" + name + "'");
}

}  // namespace

int runProofCheck(Args& args, std::ostream& out) {
  ProofCheckSettings settings;
  std::string rulesText = "draw80";
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& option = args[i];
    if (option == "--rules") {
      rulesText = valueAfter(args, i);
      settings.rules = presetNamed(rulesText);
    } else if (option == "--games") {
      settings.games = parseInt(valueAfter(args, i), 1, 1000000, "--games");
    } else if (option == "--first-game") {
      settings.firstGame = parseInt(valueAfter(args, i), 0, 100000000, "--first-game");
    } else if (option == "--seed") {
      settings.seed = static_cast<uint64_t>(parseInt(valueAfter(args, i), 0, 1000000000, "--seed"));
    } else if (option == "--nodes") {
      settings.nodes = static_cast<uint64_t>(parseInt(valueAfter(args, i), 100, 100000000, "--nodes"));
    } else if (option == "--plies") {
      settings.claimPlies = parseInt(valueAfter(args, i), 1, 9, "--plies");
    } else if (option == "--game-plies") {
      settings.gamePlies = parseInt(valueAfter(args, i), 1, 400, "--game-plies");
    } else if (option == "--threads") {
      settings.threads = parseInt(valueAfter(args, i), 1, 64, "--threads");
    } else if (option == "--hash") {
      settings.hashMegabytes = static_cast<size_t>(parseInt(valueAfter(args, i), 1, 1024, "--hash"));
    } else {
      throw UsageError("unknown option '" + option + "'");
    }
  }
  const ProofCheckReport report = runProofCheck(settings, [&](const ProofCheckReport& so_far) {
    if (so_far.games % 100 == 0 || so_far.games == settings.games) {
      std::cerr << "games " << so_far.games << " claims " << so_far.claims << " false " << so_far.falseClaims.size()
                << std::endl;
    }
  });
  for (const FalseClaim& c : report.falseClaims) {
    out << "false claim: game " << c.game << " ply " << c.ply << " board " << c.board << " side " << c.side
        << " quiet " << c.quiet << " game-ply " << c.gamePly << " score " << c.score << "\n";
  }
  out << "rules " << rulesText << " seed " << settings.seed << " games " << report.games << " claims "
      << report.claims << " false " << report.falseClaims.size() << "\n";
  return report.falseClaims.empty() ? 0 : 1;
}

}  // namespace tovrane::cli
