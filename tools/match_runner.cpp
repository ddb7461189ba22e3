#include "tools/match_runner.h"

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

#include "rules/move_generator.h"
#include "tools/engine_workdir.h"

namespace tovrane {

namespace fs = std::filesystem;

namespace {

// An engine gets at least this long to answer "name?" after it starts, so a
// short move limit does not fail a slow start.
constexpr double kMinNameSeconds = 5.0;
// How much of a malformed reply goes into the reason.
constexpr size_t kQuotedReplyLength = 60;

const char* colourWord(Side side) { return side == kWhite ? "white" : "black"; }

std::string formatNumber(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string trimRight(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t')) text.pop_back();
  return text;
}

// "move dddd" with four decimal digits.
bool parseMoveReply(const std::string& line, Move& move) {
  if (line.size() != 9 || line.compare(0, 5, "move ") != 0) return false;
  for (size_t i = 5; i < 9; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
  }
  move = readMoveText(line.c_str() + 5);
  return true;
}

bool isLegalMove(const Board& board, Side side, const Move& move) {
  MoveList list;
  list.generateMoves(board, side);
  for (int i = 0; i <= list.lastIndex; ++i) {
    if (list.moves[i] == move) return true;
  }
  return false;
}

std::chrono::duration<double> secondsOf(double seconds) { return std::chrono::duration<double>(seconds); }

Clock::time_point deadlineAfter(Clock::time_point start, double seconds) {
  return start + std::chrono::duration_cast<Clock::duration>(secondsOf(seconds));
}

// An engine ready to be started: its program resolved to a path.
struct EngineSetup {
  std::string path;
  std::vector<std::string> args;
  std::string bookDir;
  std::string name;
};

// Starts an engine and asks "name?". Returns the name (the reply after
// "name "), or nothing with error set.
std::optional<std::string> startEngine(EngineProcess& process, const EngineSetup& setup, const std::string& workDir,
                                       double moveSeconds, std::string& error) {
  if (!process.start(setup.path, setup.args, workDir, error)) return std::nullopt;
  const auto sent = Clock::now();
  if (!process.writeLine("name?")) {
    error = "cannot write to " + setup.path + ": " + process.exitDescription();
    process.kill();
    return std::nullopt;
  }
  std::string line;
  switch (process.readLine(deadlineAfter(sent, std::max(moveSeconds, kMinNameSeconds)), line)) {
    case EngineProcess::ReadStatus::kLine:
      break;
    case EngineProcess::ReadStatus::kTimeout:
      error = setup.path + " did not answer 'name?'";
      process.kill();
      return std::nullopt;
    case EngineProcess::ReadStatus::kClosed:
      error = setup.path + " ended before answering 'name?': " + process.exitDescription();
      process.kill();
      return std::nullopt;
  }
  line = trimRight(line);
  if (line.compare(0, 5, "name ") != 0 || line.size() == 5) {
    error = setup.path + " answered '" + line.substr(0, kQuotedReplyLength) + "' to 'name?'";
    process.kill();
    return std::nullopt;
  }
  return line.substr(5);
}

// One game slot: a process and a working directory for each of the two
// engines, reused from game to game; an engine that lost by a fault is
// restarted for the next game.
class GameSlot {
 public:
  GameSlot(const MatchConfig& config, const EngineSetup* setups, const std::string& root, int index)
      : config_(config), setups_(setups) {
    for (int e = 0; e < 2; ++e) {
      dirs_[e].create(root + "/slot" + std::to_string(index) + "-engine" + std::to_string(e + 1),
                      setups[e].bookDir);
    }
  }

  // Plays game number index (0-based). Returns nothing when the game was
  // abandoned because the match no longer needs it.
  std::optional<GameRecord> play(int index, const std::atomic<int>& lastNeeded);

  void stopEngines() {
    for (EngineProcess& p : processes_) p.stop();
  }

 private:
  const MatchConfig& config_;
  const EngineSetup* setups_;
  EngineProcess processes_[2];
  EngineWorkDir dirs_[2];
};

std::optional<GameRecord> GameSlot::play(int index, const std::atomic<int>& lastNeeded) {
  GameRecord game;
  game.number = index + 1;
  game.blackEngine = index % 2;
  game.opening = config_.openings[static_cast<size_t>(index / 2)];
  auto engineOf = [&](Side side) { return side == kBlack ? game.blackEngine : 1 - game.blackEngine; };
  game.blackName = setups_[engineOf(kBlack)].name;
  game.whiteName = setups_[engineOf(kWhite)].name;
  auto who = [&](Side side) {
    return std::string(colourWord(side)) + " (" + (side == kBlack ? game.blackName : game.whiteName) + ")";
  };
  auto lose = [&](Side side, GameEnd end, const std::string& reason) {
    game.winner = opponent(side);
    game.end = end;
    game.reason = who(side) + " " + reason;
    if (end != GameEnd::kNoMoves) processes_[engineOf(side)].kill();
    return game;
  };

  for (Side side : {kBlack, kWhite}) {
    EngineProcess& process = processes_[engineOf(side)];
    if (process.running()) continue;
    std::string error;
    if (!startEngine(process, setups_[engineOf(side)], dirs_[engineOf(side)].path(), config_.moveSeconds, error)) {
      return lose(side, GameEnd::kNoStart, "could not be started: " + error);
    }
  }

  Board board{};
  resetBoard(board);
  Side side = kBlack;
  int quiet = 0;
  bool onOpening = true;
  auto placeOpeningMove = [&]() {
    const size_t ply = game.moves.size();
    if (onOpening && ply < game.opening.size()) {
      dirs_[engineOf(side)].placeBookMove(board, side, game.opening[ply]);
    }
  };

  if (!processes_[engineOf(kWhite)].writeLine("new white")) {
    return lose(kWhite, GameEnd::kCrash, "crashed: " + processes_[engineOf(kWhite)].exitDescription());
  }
  placeOpeningMove();
  std::string command = "new black";
  while (true) {
    const int e = engineOf(side);
    EngineProcess& process = processes_[e];
    const auto sent = Clock::now();
    std::string line;
    EngineProcess::ReadStatus status = EngineProcess::ReadStatus::kClosed;
    if (process.writeLine(command)) status = process.readLine(deadlineAfter(sent, config_.moveSeconds), line);
    const double seconds = std::chrono::duration<double>(Clock::now() - sent).count();
    dirs_[e].restore();
    if (status == EngineProcess::ReadStatus::kTimeout) {
      return lose(side, GameEnd::kTimeout,
                  "gave no move within " + formatNumber("%.3f", config_.moveSeconds) + " s");
    }
    if (status == EngineProcess::ReadStatus::kClosed) {
      return lose(side, GameEnd::kCrash, "crashed: " + process.exitDescription());
    }
    line = trimRight(line);
    Move move{};
    if (!parseMoveReply(line, move)) {
      return lose(side, GameEnd::kMalformed, "sent '" + line.substr(0, kQuotedReplyLength) + "' instead of a move");
    }
    if (!isLegalMove(board, side, move)) {
      return lose(side, GameEnd::kIllegal, "played " + line.substr(5) + ", which is not a legal move");
    }
    const size_t ply = game.moves.size();
    if (onOpening && ply < game.opening.size() && !(move == game.opening[ply])) {
      onOpening = false;
      game.leftOpening = true;
    }
    game.moves.push_back({move, seconds});
    const bool capture = board.at(move.toRow, move.toCol) != kEmpty;
    applyMove(board, move);
    quiet = capture ? 0 : quiet + 1;
    const Side next = opponent(side);
    if (!hasAnyMove(board, next)) {
      game.winner = side;
      game.end = GameEnd::kNoMoves;
      game.reason = who(next) + " has no legal move";
      return game;
    }
    if (quiet >= config_.quietPlies) {
      game.end = GameEnd::kQuietDraw;
      game.reason = std::to_string(quiet) + " plies without a capture";
      return game;
    }
    if (game.plies() >= config_.maxPlies) {
      game.end = GameEnd::kPlyCap;
      game.reason = "the ply cap of " + std::to_string(config_.maxPlies) + " was reached";
      return game;
    }
    if (index > lastNeeded.load()) {
      // The match is decided without this game; its engines are mid-game.
      for (EngineProcess& p : processes_) p.kill();
      return std::nullopt;
    }
    side = next;
    placeOpeningMove();
    command = "move " + line.substr(5);
  }
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
        << padLeft(std::to_string(s.losses), 8) << padLeft(formatNumber("%.1f%%", 100 * s.ratio()), 8) << "  "
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
    const EngineSpec& spec = config.engines[e];
    EngineSetup& s = setups[e];
    s.path = resolveProgram(spec.command.program);
    if (s.path.empty()) {
      throw MatchError("engine " + std::to_string(e + 1) + ": no executable program '" + spec.command.program + "'");
    }
    s.args = spec.command.args;
    s.bookDir = spec.bookDir;
    // Ask the name once before the match, which also shows that it starts.
    EngineWorkDir probeDir;
    probeDir.create(root.path + "/probe-engine" + std::to_string(e + 1), "");
    EngineProcess probe;
    std::string error;
    const std::optional<std::string> name = startEngine(probe, s, probeDir.path(), config.moveSeconds, error);
    if (!name) throw MatchError("engine " + std::to_string(e + 1) + " cannot be started: " + error);
    probe.stop();
    s.name = spec.name.empty() ? *name : spec.name;
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
