// tovrane tune: fits engine-pro's evaluation weights, both rows (opening and
// endgame, mixed by the pieces on the board), to game results. It reads
// self-play position files (tovrane selfplay: quiet leaves with the search's
// score and the game's result) and match records (every quiet position, the
// side to move having no capture, labelled with the game's result), leaves
// out the first PLIES plies of every game, merges repeated positions, holds
// out a tenth of the games, fits the logistic scale to the current weights
// and then the weights by full-batch Adam (selfplay/weight_fit.h), and
// prints the held-out loss before and after and the weights as code.

#include <chrono>
#include <filesystem>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <ostream>
#include <sstream>
#include <vector>

#include "eval/pro_eval.h"
#include "match/game_record.h"
#include "rules/move_generator.h"
#include "selfplay/position_file.h"
#include "selfplay/weight_fit.h"
#include "tools/commands.h"

namespace tovrane::cli {

namespace {

struct ReadCounts {
  int64_t selfplayPositions = 0;
  int64_t matchPositions = 0;
  int64_t games = 0;
};

double elapsed(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Every position line of a self-play file from ply skip on.
void readSelfplayFile(std::istream& in, const std::string& path, int skip, FitSet& set, ReadCounts& counts,
                      std::chrono::steady_clock::time_point start) {
  std::string line;
  std::string run = path;
  SelfplayRecord record;
  int64_t lineNumber = 0;
  auto last = std::chrono::steady_clock::now();
  while (std::getline(in, line)) {
    ++lineNumber;
    if (line.empty()) continue;
    if (line[0] == '#') {
      // Shards of one run share game numbers: the run without its shard names them.
      if (line.rfind("# selfplay ", 0) == 0) run = line.substr(0, line.rfind(" shard "));
      continue;
    }
    if (line.rfind("game ", 0) == 0) {
      ++counts.games;
      continue;
    }
    if (!parsePositionLine(line, record)) {
      // The last line of a file whose writer was killed may be cut short.
      if (in.peek() == std::char_traits<char>::eof()) break;
      throw UsageError(path + ":" + std::to_string(lineNumber) + ": not a position line");
    }
    if (record.ply < skip) continue;
    set.add(record.board, record.side, record.result, true, record.score, fitGameId(run, record.game));
    ++counts.selfplayPositions;
    if ((counts.selfplayPositions & 0xffff) == 0 && std::chrono::steady_clock::now() - last > std::chrono::seconds(10)) {
      last = std::chrono::steady_clock::now();
      std::cerr << "tune: " << path << ": " << counts.selfplayPositions + counts.matchPositions << " positions read, "
                << std::lround(elapsed(start)) << " s\n";
    }
  }
}

// Every quiet position of the games decided or drawn by the rules.
void readMatchRecord(std::istream& in, const std::string& path, int skip, FitSet& set, ReadCounts& counts) {
  std::vector<GameRecord> games;
  // The match's header names its games; a record without one, its file name.
  std::string run = std::filesystem::path(path).filename().string(), line;
  bool header = false;
  while (std::getline(in, line) && (line.empty() || line[0] == '#')) {
    if (line.rfind("# match ", 0) == 0 && line.rfind("# match shard ", 0) != 0) {
      run = (header ? run + "\n" : "") + line;
      header = true;
    }
  }
  in.clear();
  in.seekg(0);
  try {
    games = readGameRecords(in);
  } catch (const std::runtime_error& e) {
    throw UsageError(path + ": " + e.what());
  }
  MoveList list;
  for (const GameRecord& game : games) {
    if (!endedByRule(game.end)) continue;
    ++counts.games;
    const uint64_t id = fitGameId(run, game.number);
    Board board{};
    resetBoard(board);
    Side side = kBlack;
    for (int ply = 0; ply < game.plies(); ++ply) {
      if (ply >= skip) {
        list.generateMoves(board, side);
        const bool capture = list.lastIndex >= 0 && board.at(list.moves[0].toRow, list.moves[0].toCol) != kEmpty;
        if (!capture) {
          const float label = game.winner == 0 ? 0.5f : game.winner == side ? 1.0f : 0.0f;
          set.add(board, side, label, false, 0, id);
          ++counts.matchPositions;
        }
      }
      applyMove(board, game.moves[ply].move);
      side = opponent(side);
    }
  }
}

double parseReal(const std::string& text, double low, double high, const std::string& what) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !(value >= low && value <= high)) {
    throw UsageError(what + " must be a number from " + std::to_string(low) + " to " + std::to_string(high) +
                     ", got '" + text + "'");
  }
  return value;
}

void printRow(std::ostream& out, const ProWeightRow& row) {
  for (int i = 0; i < kProFeatureCount; ++i) {
    std::ostringstream value;
    value << row[i] << ",";
    out << "    " << std::left << std::setw(6) << value.str() << std::right << "// " << proFeatureName(i) << "\n";
  }
}

}  // namespace

int runTune(Args& args, std::ostream& out) {
  int skip = 8;
  FitOptions options;
  std::vector<std::string> paths;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--skip" || arg == "--iterations" || arg == "--score-weight" || arg == "--rate") {
      if (!hasValue) throw UsageError(arg + " needs a value");
      const std::string& value = args[++i];
      if (arg == "--skip") {
        skip = parseInt(value, 0, 400, arg);
      } else if (arg == "--iterations") {
        options.iterations = parseInt(value, 0, 1000000, arg);
      } else if (arg == "--score-weight") {
        options.scoreWeight = parseReal(value, 0, 1, arg);
      } else {
        options.rate = parseReal(value, 1e-6, 100, arg);
      }
    } else if (arg.rfind("--", 0) == 0) {
      throw UsageError("unknown option " + arg);
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.empty()) {
    throw UsageError("usage: tovrane tune FILE... [--skip PLIES] [--iterations N] [--score-weight W] [--rate R]");
  }

  const auto start = std::chrono::steady_clock::now();
  FitSet set;
  ReadCounts counts;
  for (const std::string& path : paths) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UsageError("cannot read " + path);
    std::string first;
    std::getline(in, first);
    in.seekg(0);
    if (first == kSelfplayTitle) {
      readSelfplayFile(in, path, skip, set, counts, start);
    } else {
      readMatchRecord(in, path, skip, set, counts);
    }
    std::cerr << "tune: " << path << " read: " << counts.selfplayPositions + counts.matchPositions << " positions, "
              << std::lround(elapsed(start)) << " s\n";
  }
  const int64_t read = counts.selfplayPositions + counts.matchPositions;
  if (read == 0) throw UsageError("no positions in the files");
  const size_t heldOutGames = set.holdOutTenth();
  if (heldOutGames == 0) throw UsageError("the positions are of one game: a tenth of the games cannot be held out");
  set.deduplicate();
  const std::vector<FitSample>& samples = set.samples();
  const size_t heldOut = set.heldOutCount();

  const FitWeights current = FitWeights::of(kProWeights);
  const double scale = fitScale(samples, current);
  const double trainBefore = resultLoss(samples, current, scale, false);
  const double heldBefore = resultLoss(samples, current, scale, true);
  std::cerr << "tune: " << samples.size() << " distinct positions, scale " << std::lround(scale) << ", fitting\n";
  const FitWeights fitted = fitWeights(samples, current, scale, options, [&](const FitProgress& p) {
    std::cerr << "tune: iteration " << p.iteration << "/" << options.iterations << ", training loss " << std::fixed
              << std::setprecision(5) << p.trainLoss << ", held-out loss " << p.heldOutLoss << std::defaultfloat
              << ", " << std::lround(elapsed(start)) << " s\n";
  });
  const ProWeights tuned = fitted.rounded();
  const FitWeights tunedExact = FitWeights::of(tuned);
  const double trainAfter = resultLoss(samples, tunedExact, scale, false);
  const double heldAfter = resultLoss(samples, tunedExact, scale, true);

  out << "files " << paths.size() << ": games " << counts.games << ", positions read " << read << " ("
      << counts.selfplayPositions << " self-play, " << counts.matchPositions << " from match records)\n";
  out << "distinct positions " << samples.size() << " (training " << samples.size() - heldOut << ", held out "
      << heldOut << ", of " << heldOutGames << " games)\n";
  out << std::fixed << std::setprecision(5) << "scale " << scale << "\n";
  out << "held-out loss before " << heldBefore << " after " << heldAfter << "\n";
  out << "training loss before " << trainBefore << " after " << trainAfter << "\n";
  out << "score weight " << options.scoreWeight << ", iterations " << options.iterations << "\n"
      << std::defaultfloat;

  // How often each feature is not zero, and its mean size: a feature that
  // is hardly ever seen cannot be fitted.
  std::array<int64_t, kProFeatureCount> nonzero{};
  std::array<double, kProFeatureCount> size{};
  for (const FitSample& s : samples) {
    for (int i = 0; i < kProFeatureCount; ++i) {
      nonzero[i] += s.features[i] != 0 ? 1 : 0;
      size[i] += std::abs(s.features[i]);
    }
  }
  out << "weights (name, opening: current tuned, endgame: current tuned):\n";
  for (int i = 0; i < kProFeatureCount; ++i) {
    out << "  " << std::left << std::setw(18) << proFeatureName(i) << std::right << std::setw(6)
        << kProWeights.opening[i] << std::setw(6) << tuned.opening[i] << std::setw(10) << kProWeights.endgame[i]
        << std::setw(6) << tuned.endgame[i] << "\n";
  }
  out << "features (name, positions where it is not 0, mean size):\n";
  const double n = static_cast<double>(samples.size());
  for (int i = 0; i < kProFeatureCount; ++i) {
    out << "  " << std::left << std::setw(18) << proFeatureName(i) << std::right << std::fixed << std::setprecision(1)
        << std::setw(6) << 100.0 * static_cast<double>(nonzero[i]) / n << "%" << std::setprecision(2) << std::setw(8)
        << size[i] / n << std::defaultfloat << "\n";
  }
  out << "as code, for eval/pro_eval.cpp:\n";
  out << "const ProWeights kProWeights = {{\n";
  printRow(out, tuned.opening);
  out << "}, {\n";
  printRow(out, tuned.endgame);
  out << "}};\n";
  return 0;
}

}  // namespace tovrane::cli
