#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "analysis/game_analysis.h"
#include "match/game_record.h"
#include "match/match_header.h"
#include "tools/commands.h"

namespace tovrane::cli {

namespace {

constexpr const char* kAnalyseUsageLine =
    "analyse RECORD [GAME] [--depth N | --movetime S] [--rules NAME]";

bool takeValue(Args& args, const std::string& name, std::string& value) {
  for (auto it = args.begin(); it != args.end(); ++it) {
    if (*it != name) continue;
    if (it + 1 == args.end()) throw UsageError(name + " needs a value");
    value = *(it + 1);
    args.erase(it, it + 2);
    return true;
  }
  return false;
}

// The rules a match was played under, from its header's "rules" line, which
// ends in the rules in words (rulesWords); nullopt when they cannot be told.
std::optional<GameRules> rulesOfRecord(const RecordFile& record) {
  MatchHeader header;
  try {
    header = parseMatchHeader(record.comments);
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
  const std::string& words = header.rules;
  auto endsWith = [&](const std::string& tail) {
    return words.size() >= tail.size() && words.compare(words.size() - tail.size(), tail.size(), tail) == 0;
  };
  for (const RulesPreset& preset : rulesPresets()) {
    if (endsWith(rulesWords(preset.rules))) return preset.rules;
  }
  const size_t at = words.find("draw-plies ");
  if (at == std::string::npos) return std::nullopt;
  std::istringstream in(words.substr(at));
  std::string key1, quiet, key2, cap;
  in >> key1 >> quiet >> key2 >> cap;
  if (key2 != "max-plies") return std::nullopt;
  GameRules rules;
  rules.quietLimit = quiet == "none" ? 0 : std::atoi(quiet.c_str());
  rules.maxPlies = cap == "none" ? 0 : std::atoi(cap.c_str());
  if (endsWith(rulesWords(rules))) return rules;
  return std::nullopt;
}

const char* sideWord(Side side) { return side == kWhite ? "white" : "black"; }

std::string plyList(const GameAnalysis& analysis, Side side, MoveMark mark) {
  std::string list;
  for (const PlyAnalysis& p : analysis.plies) {
    if (p.mover == side && p.mark == mark) list.append(list.empty() ? "" : " ").append(std::to_string(p.ply));
  }
  return list;
}

void printSummary(const GameAnalysis& analysis, Side side, const std::string& name, std::ostream& out) {
  const SideSummary& s = side == kBlack ? analysis.black : analysis.white;
  out << sideWord(side) << " " << name << ": " << s.moves << " moves, average loss " << s.averageLoss() << ", "
      << s.mistakes << (s.mistakes == 1 ? " mistake" : " mistakes");
  if (s.mistakes > 0) out << " (ply " << plyList(analysis, side, MoveMark::kMistake) << ")";
  out << ", " << s.blunders << (s.blunders == 1 ? " blunder" : " blunders");
  if (s.blunders > 0) out << " (ply " << plyList(analysis, side, MoveMark::kBlunder) << ")";
  out << "\n";
}

void analyseOne(const GameRecord& game, const AnalysisSettings& settings, std::ostream& out) {
  out << "game " << game.number << ": black " << game.blackName << ", white " << game.whiteName << "; result "
      << (game.end == GameEnd::kUnfinished ? "none" : resultWord(game.winner)) << ", " << game.reason << "\n";
  char line[160];
  std::snprintf(line, sizeof line, "%4s %-5s %-4s %-36s %5s %7s %7s %5s %-7s %s\n", "ply", "side", "move",
                "board before the move", "b-w", "before", "after", "loss", "mark", "best");
  out << line;
  std::vector<Move> moves;
  for (const PlayedMove& played : game.moves) moves.push_back(played.move);
  Board start{};
  resetBoard(start);
  const auto began = std::chrono::steady_clock::now();
  const GameAnalysis analysis = analyseGame(start, kBlack, moves, settings, [&](const PlyAnalysis& p, int count) {
    std::snprintf(line, sizeof line, "%4d %-5s %-4s %-36s %2d-%-2d %7s %7s %5d %-7s %s\n", p.ply, sideWord(p.mover),
                  moveText(p.played).c_str(), boardDigits(p.board).c_str(), countPieces(p.board, kBlack),
                  countPieces(p.board, kWhite), scoreText(p.before).c_str(), scoreText(p.after).c_str(), p.loss,
                  markWord(p.mark), moveText(p.best).c_str());
    out << line << std::flush;
    if (p.ply % 10 == 0 || p.ply == count) {
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
      std::fprintf(stderr, "analyse: game %d ply %d of %d, %.1f s\n", game.number, p.ply, count, seconds);
    }
    return true;
  });
  printSummary(analysis, kBlack, game.blackName, out);
  printSummary(analysis, kWhite, game.whiteName, out);
}

}  // namespace

const char* const kAnalyseUsage = kAnalyseUsageLine;

int runAnalyse(Args& args, std::ostream& out) {
  AnalysisSettings settings;
  std::string text;
  const bool byDepth = takeValue(args, "--depth", text);
  if (byDepth) settings.depth = parseInt(text, 1, 60, "--depth");
  if (takeValue(args, "--movetime", text)) {
    if (byDepth) throw UsageError("--depth and --movetime cannot be combined");
    char* end = nullptr;
    settings.moveSeconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(settings.moveSeconds >= 0.01 && settings.moveSeconds <= 60)) {
      throw UsageError("--movetime must be a number of seconds from 0.01 to 60, got '" + text + "'");
    }
  }
  std::string rulesName;
  const bool rulesGiven = takeValue(args, "--rules", rulesName);
  expectCount(args, args.size() == 2 ? 2 : 1, kAnalyseUsageLine);

  std::ifstream in(args[0], std::ios::binary);
  if (!in) throw UsageError("cannot read record file " + args[0]);
  std::stringstream buffer;
  buffer << in.rdbuf();
  RecordFile record;
  try {
    record = readRecordFile(buffer.str());
  } catch (const std::runtime_error& e) {
    throw UsageError(args[0] + ": " + e.what());
  }
  if (record.games.empty()) throw UsageError(args[0] + " holds no complete games");

  if (rulesGiven) {
    const std::optional<GameRules> named = rulesByName(rulesName);
    if (!named) throw UsageError("unknown --rules '" + rulesName + "' (draw80, pieces50-repetition or pieces80)");
    settings.rules = *named;
  } else if (const std::optional<GameRules> recorded = rulesOfRecord(record)) {
    settings.rules = *recorded;
  }
  const std::string name = tovrane::rulesName(settings.rules);
  out << "engine-pro " << (settings.moveSeconds > 0 ? std::string("movetime ").append(text)
                                                      : std::string("depth ").append(std::to_string(settings.depth)))
      << "; rules " << (name.empty() ? rulesWords(settings.rules) : name) << "; scores for the side that moved (a piece "
      << "is about " << kNetChanceScale << "); mistake: loss " << kMistakeLoss << ", blunder: loss " << kBlunderLoss
      << " or a proved result thrown away\n\n";

  if (args.size() == 2) {
    const int wanted = parseInt(args[1], 1, 1000000000, "GAME");
    for (const GameRecord& game : record.games) {
      if (game.number == wanted) {
        analyseOne(game, settings, out);
        return 0;
      }
    }
    throw UsageError(args[0] + " holds no game " + std::to_string(wanted));
  }
  for (size_t i = 0; i < record.games.size(); ++i) {
    if (i > 0) out << "\n";
    analyseOne(record.games[i], settings, out);
  }
  return 0;
}

}  // namespace tovrane::cli
