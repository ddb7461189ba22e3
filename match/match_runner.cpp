#include "match/match_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <thread>

#include "match/engine_workdir.h"
#include "match/game_slot.h"

namespace tovrane {

namespace fs = std::filesystem;

namespace {

std::string formatNumber(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Removes the match's temporary directories however runMatch ends.
struct TempRoot {
  std::string path;
  TempRoot() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tovrane-match-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw MatchError("cannot create a directory in " + pattern);
    path = pattern;
  }
  ~TempRoot() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
};

std::string baseName(const std::string& path) { return fs::path(path).filename().string(); }

std::string pointsText(double points) {
  return std::fmod(points, 1.0) == 0 ? formatNumber("%.0f", points) : formatNumber("%.1f", points);
}

std::string eloText(const EloEstimate& e) {
  if (!std::isfinite(e.elo)) return e.elo > 0 ? "+inf" : "-inf";
  // Rounded to zero, an even score prints as +0.0, not -0.0.
  std::string text = formatNumber("%+.1f", std::fabs(e.elo) < 0.05 ? 0.0 : e.elo);
  text += std::isfinite(e.margin) ? " +- " + formatNumber("%.1f", e.margin) : " +- inf";
  return text;
}

std::string padRight(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string padLeft(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

void printTable(const MatchResult& result, std::ostream& out) {
  size_t nameWidth = 6;
  for (const std::string& n : result.names) nameWidth = std::max(nameWidth, n.size());
  out << "\n"
      << padRight("engine", nameWidth) << "  games  wins  draws  losses   score  elo (95%)         avg move"
      << "  max move\n";
  for (int e = 0; e < 2; ++e) {
    const EngineTally& t = result.tally[e];
    const MatchScore& s = t.score;
    out << padRight(result.names[e], nameWidth) << padLeft(std::to_string(s.games()), 7)
        << padLeft(std::to_string(s.wins), 6) << padLeft(std::to_string(s.draws), 7)
        << padLeft(std::to_string(s.losses), 8) << padLeft(formatNumber("%.1f%%", s.games() > 0 ? (100.0 * s.wins + 50.0 * s.draws) / s.games() : 50.0), 8) << "  "
        << padRight(eloText(estimateElo(s)), 16)
        << padLeft(formatNumber("%.3f s", t.moves > 0 ? t.moveSeconds / t.moves : 0.0), 10)
        << padLeft(formatNumber("%.3f s", t.longestMove), 10) << "\n";
  }
}

}  // namespace

int winningEngine(const GameRecord& game) {
  if (game.winner == 0) return -1;
  return game.winner == kBlack ? game.blackEngine : 1 - game.blackEngine;
}

MatchResult runMatch(const MatchConfig& config, std::ostream& out) {
  // A write to an engine that has died must come back as an error, not end
  // the referee.
  signal(SIGPIPE, SIG_IGN);
  // The engines' pipes must not land on a closed standard descriptor, where
  // the child's redirection would not take.
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) == -1) open("/dev/null", O_RDWR);
  }
  TempRoot root;

  EngineSetup setups[2];
  for (int e = 0; e < 2; ++e) {
    const EngineEntry& entry = config.engines[e];
    EngineSetup& s = setups[e];
    s.path = resolveProgram(entry.command.program);
    if (s.path.empty()) {
      throw MatchError("engine " + std::to_string(e + 1) + ": no executable program '" + entry.command.program + "'");
    }
    s.args = entry.command.args;
    s.bookDir = entry.bookDir;
    // Ask the name once before the match, which also shows that it starts.
    EngineWorkDir probeDir;
    probeDir.create(root.path + "/probe-engine" + std::to_string(e + 1), "");
    EngineProcess probe;
    std::string error;
    const std::optional<std::string> name = startEngine(probe, s, probeDir.path(), config.moveSeconds, error);
    if (!name) throw MatchError("engine " + std::to_string(e + 1) + " cannot be started: " + error);
    probe.stop();
    s.name = entry.name.empty() ? *name : entry.name;
  }
  if (setups[0].name == setups[1].name) {
    // Two engines that answer alike (engine and engine-deep): tell them apart.
    for (EngineSetup& s : setups) s.name += " [" + baseName(s.path) + "]";
    if (setups[0].name == setups[1].name) {
      setups[0].name += " #1";
      setups[1].name += " #2";
    }
  }

  std::ofstream record;
  if (!config.recordPath.empty()) {
    record.open(config.recordPath, std::ios::trunc);
    if (!record) throw MatchError("cannot write record file " + config.recordPath);
    record << "# tovrane match record: " << setups[0].name << " vs " << setups[1].name << "\n\n";
  }

  const int total = static_cast<int>(config.openings.size()) * 2;
  const int slotCount = std::max(1, std::min(config.concurrency, total));
  std::vector<std::unique_ptr<GameSlot>> slots;
  for (int i = 0; i < slotCount; ++i) slots.push_back(std::make_unique<GameSlot>(config, setups, root.path, i));

  std::mutex mutex;
  std::condition_variable finished;
  std::vector<std::optional<GameRecord>> games(static_cast<size_t>(total));
  std::vector<std::exception_ptr> failures(static_cast<size_t>(total));
  std::vector<bool> done(static_cast<size_t>(total), false);
  std::atomic<int> nextGame{0};
  std::atomic<int> lastNeeded{total - 1};

  std::vector<std::thread> workers;
  for (int i = 0; i < slotCount; ++i) {
    workers.emplace_back([&, i] {
      GameSlot& slot = *slots[static_cast<size_t>(i)];
      while (true) {
        const int k = nextGame.fetch_add(1);
        if (k >= total || k > lastNeeded.load()) break;
        std::optional<GameRecord> game;
        std::exception_ptr failure;
        try {
          game = slot.play(k, lastNeeded);
        } catch (...) {
          failure = std::current_exception();
        }
        {
          std::lock_guard<std::mutex> lock(mutex);
          games[static_cast<size_t>(k)] = std::move(game);
          failures[static_cast<size_t>(k)] = failure;
          done[static_cast<size_t>(k)] = true;
        }
        finished.notify_all();
        if (failure) break;
      }
      slot.stopEngines();
    });
  }

  MatchResult result;
  result.names[0] = setups[0].name;
  result.names[1] = setups[1].name;
  const SprtBounds bounds = sprtBounds(config.alpha, config.beta);
  std::exception_ptr failure;
  for (int k = 0; k < total; ++k) {
    std::unique_lock<std::mutex> lock(mutex);
    finished.wait(lock, [&] { return done[static_cast<size_t>(k)]; });
    if (failures[static_cast<size_t>(k)]) {
      failure = failures[static_cast<size_t>(k)];
      lastNeeded = -1;
      break;
    }
    GameRecord game = std::move(*games[static_cast<size_t>(k)]);
    lock.unlock();

    const int winner = winningEngine(game);
    for (int e = 0; e < 2; ++e) {
      MatchScore& s = result.tally[e].score;
      if (winner < 0) {
        ++s.draws;
      } else if (winner == e) {
        ++s.wins;
      } else {
        ++s.losses;
      }
    }
    for (int i = 0; i < game.plies(); ++i) {
      const Side side = i % 2 == 0 ? kBlack : kWhite;
      const int e = side == kBlack ? game.blackEngine : 1 - game.blackEngine;
      EngineTally& t = result.tally[e];
      t.moveSeconds += game.moves[static_cast<size_t>(i)].seconds;
      t.longestMove = std::max(t.longestMove, game.moves[static_cast<size_t>(i)].seconds);
      ++t.moves;
    }
    const MatchScore& s = result.tally[0].score;
    out << "game " << game.number << "/" << total << ": " << game.blackName << " (black) - " << game.whiteName
        << " (white): " << (winner < 0 ? "draw" : resultWord(game.winner) + " wins") << ", " << game.reason << ", "
        << game.plies() << " plies; score " << result.names[0] << " " << pointsText(s.wins + 0.5 * s.draws) << " - "
        << pointsText(s.losses + 0.5 * s.draws) << " " << result.names[1];
    if (config.sprt) {
      result.llr = sprtLlr(s, config.elo0, config.elo1);
      out << "; LLR " << formatNumber("%.2f", result.llr) << " (" << formatNumber("%.2f", bounds.lower) << ", "
          << formatNumber("%.2f", bounds.upper) << ")";
    }
    out << "\n" << std::flush;
    if (record.is_open()) {
      writeGameRecord(record, game);
      record.flush();
    }
    result.games.push_back(std::move(game));
    if (config.sprt && (result.llr <= bounds.lower || result.llr >= bounds.upper)) {
      result.sprtDecision = result.llr >= bounds.upper ? 1 : -1;
      lastNeeded = k;
      break;
    }
  }
  for (std::thread& w : workers) w.join();
  if (failure) std::rethrow_exception(failure);

  printTable(result, out);
  if (config.sprt) {
    out << "\nSPRT elo0 " << formatNumber("%g", config.elo0) << ", elo1 " << formatNumber("%g", config.elo1)
        << " (alpha " << formatNumber("%g", config.alpha) << ", beta " << formatNumber("%g", config.beta)
        << "): LLR " << formatNumber("%.2f", result.llr) << ", bounds (" << formatNumber("%.2f", bounds.lower)
        << ", " << formatNumber("%.2f", bounds.upper) << "); ";
    const std::string accepted = formatNumber("%g", result.sprtDecision > 0 ? config.elo1 : config.elo0);
    const std::string rejected = formatNumber("%g", result.sprtDecision > 0 ? config.elo0 : config.elo1);
    if (result.sprtDecision != 0) {
      out << (result.sprtDecision > 0 ? "H1" : "H0") << " accepted: " << result.names[0] << " - " << result.names[1]
          << " = " << accepted << " Elo rather than " << rejected;
    } else {
      out << "no decision after " << result.games.size() << " games";
    }
    out << "\n";
  }
  std::map<std::string, int> ends;
  int leftOpening = 0;
  for (const GameRecord& g : result.games) {
    ++ends[gameEndCode(g.end)];
    leftOpening += g.leftOpening ? 1 : 0;
  }
  out << "\ngame ends:";
  for (const auto& [code, count] : ends) out << " " << code << " " << count;
  out << "\n";
  if (leftOpening > 0) {
    out << "note: in " << leftOpening << " game(s) an engine did not play the opening move from its book folder\n";
  }
  return result;
}

}  // namespace tovrane
