#include "match/match_runner.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include "match/engine_workdir.h"
#include "match/game_slot.h"
#include "match/match_header.h"
#include "match/match_interrupt.h"
#include "match/temp_folder.h"

namespace tovrane {

namespace fs = std::filesystem;

namespace {

// Removes the match's temporary directories however runMatch ends.
struct TempRoot {
  std::string path;
  TempRoot() {
    std::string error;
    path = makeTempFolder("tovrane-match-", error);
    if (path.empty()) throw MatchError(error);
  }
  ~TempRoot() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
};

std::string baseName(const std::string& path) { return fs::path(path).filename().string(); }

std::string signalName(int signal) { return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal"; }

struct ReadRecord {
  RecordFile file;
  MatchHeader header;
};

// Reads a record and its match lines; throws MatchError naming the file.
ReadRecord readRecord(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MatchError("cannot read record file " + path);
  std::ostringstream text;
  text << in.rdbuf();
  ReadRecord r;
  try {
    r.file = readRecordFile(text.str());
    r.header = parseMatchHeader(r.file.comments);
  } catch (const std::runtime_error& e) {
    throw MatchError(path + ": " + e.what() + " (not a record of 'tovrane match', or one written before resuming existed)");
  }
  return r;
}

// A game read back from a record: who played it follows from its number
// (see tournament.h), and the names must agree.
GameRecord recordedGame(GameRecord game, const MatchHeader& header, const std::vector<Pairing>& pairings,
                        const std::string& path) {
  const GameSeat seat = gameSeat(pairings, game.number - 1);
  game.blackEngine = seat.blackEngine;
  game.whiteEngine = seat.whiteEngine;
  if (game.blackName != header.names[static_cast<size_t>(seat.blackEngine)] ||
      game.whiteName != header.names[static_cast<size_t>(seat.whiteEngine)]) {
    throw MatchError(path + ": game " + std::to_string(game.number) + " has other players than the match");
  }
  return game;
}

// Engines that answer alike (engine and engine-deep) get their program's
// name added, and if that is not enough their number.
void tellApart(std::vector<EngineSetup>& setups) {
  auto clashes = [&](size_t e) {
    for (size_t o = 0; o < setups.size(); ++o) {
      if (o != e && setups[o].name == setups[e].name) return true;
    }
    return false;
  };
  std::vector<bool> clash(setups.size());
  for (size_t e = 0; e < setups.size(); ++e) clash[e] = clashes(e);
  for (size_t e = 0; e < setups.size(); ++e) {
    if (clash[e]) setups[e].name += " [" + baseName(setups[e].path) + "]";
  }
  for (size_t e = 0; e < setups.size(); ++e) clash[e] = clashes(e);
  for (size_t e = 0; e < setups.size(); ++e) {
    if (clash[e]) setups[e].name += " #" + std::to_string(e + 1);
  }
}

SprtSetup sprtOf(const MatchHeader& h) { return {h.sprt, h.elo0, h.elo1, h.alpha, h.beta, h.trinomialSprt}; }

// The record of this run: created with its header, or the complete part of
// an earlier run's record kept and appended to.
class RecordWriter {
 public:
  void create(const std::string& path, const MatchHeader& header) {
    open(path, std::ios::trunc);
    write(matchHeaderText(header));
  }
  void append(const std::string& path, size_t keepBytes) {
    // Drops what a killed writer left half-written.
    fs::resize_file(path, keepBytes);
    open(path, std::ios::app);
  }
  void write(const std::string& text) {
    if (!out_.is_open()) return;
    out_ << text;
    out_.flush();
    if (!out_) throw MatchError("cannot write record file " + path_);
  }

 private:
  void open(const std::string& path, std::ios::openmode mode) {
    path_ = path;
    out_.open(path, mode | std::ios::binary);
    if (!out_) throw MatchError("cannot write record file " + path);
  }
  std::string path_;
  std::ofstream out_;
};

}  // namespace

MatchResult runMatch(const MatchConfig& config, std::ostream& out) {
  // An existing record is never replaced unless asked; resuming reads it.
  std::optional<ReadRecord> earlier;
  // An empty file is what a run killed before its first write leaves.
  if (!config.recordPath.empty() && fs::exists(config.recordPath) &&
      !(config.resume && fs::is_regular_file(config.recordPath) && fs::file_size(config.recordPath) == 0)) {
    if (config.resume) {
      earlier = readRecord(config.recordPath);
    } else if (!config.overwrite) {
      throw MatchError("record file " + config.recordPath +
                       " exists; give --resume to continue its match or --overwrite to replace it");
    }
  }
  const int totalOpenings = static_cast<int>(config.openings.size());
  if (config.shards > totalOpenings) {
    throw MatchError("--shard " + std::to_string(config.shard) + "/" + std::to_string(config.shards) + " with only " +
                     std::to_string(totalOpenings) + " openings: use at most as many shards as openings");
  }

  StopSignals stopSignals;
  TempRoot root;
  MatchResult stopped;

  std::vector<EngineSetup> setups(config.engines.size());
  for (size_t e = 0; e < setups.size(); ++e) {
    const EngineEntry& entry = config.engines[e];
    EngineSetup& s = setups[e];
    s.path = resolveProgram(entry.command.program);
    if (s.path.empty()) {
      throw MatchError("engine " + std::to_string(e + 1) + ": " + programProblem(entry.command.program));
    }
    s.args = entry.command.args;
    s.bookDir = entry.bookDir;
    // Ask the name once before the match, which also shows that it starts.
    EngineWorkDir probeDir;
    probeDir.create((fs::path(root.path) / ("probe-engine" + std::to_string(e + 1))).string(), "");
    EngineProcess probe;
    probe.setLabel(entry.name.empty() ? "engine " + std::to_string(e + 1) : entry.name, 0);
    std::string error;
    const std::optional<std::string> name =
        startEngine(probe, s, probeDir.path(), config.moveSeconds, config.strict, error);
    if (stopRequested()) {
      stopped.stopSignal = stopSignal();
      return stopped;
    }
    if (!name) throw MatchError("engine " + std::to_string(e + 1) + " cannot be started: " + error);
    probe.stop();
    s.name = entry.name.empty() ? *name : entry.name;
  }
  tellApart(setups);
  std::vector<std::string> names;
  for (const EngineSetup& s : setups) names.push_back(s.name);
  const MatchHeader header = matchHeader(config, names);
  const std::vector<Pairing> pairings = header.pairings();
  const int perOpening = 2 * static_cast<int>(pairings.size());

  // The games of this shard (all games when not sharded), and those of them
  // an earlier run recorded.
  const OpeningRange range = shardOpenings(totalOpenings, config.shard, config.shards);
  const int firstGame = perOpening * range.begin;
  const int endGame = perOpening * range.end;
  std::map<int, GameRecord> recorded;
  RecordWriter record;
  if (earlier) {
    const std::string difference = matchDifference(earlier->header, header, true);
    if (!difference.empty()) {
      throw MatchError("record file " + config.recordPath + " belongs to another match (" + difference +
                       "); give another --record file, or --overwrite to replace it");
    }
    for (GameRecord& g : earlier->file.games) {
      const int k = g.number - 1;
      if (k < firstGame || k >= endGame || recorded.count(k) > 0 ||
          g.opening != config.openings[static_cast<size_t>(k / perOpening)]) {
        throw MatchError("record file " + config.recordPath + ": game " + std::to_string(g.number) +
                         " does not belong to this match");
      }
      recorded.emplace(k, recordedGame(std::move(g), header, pairings, config.recordPath));
    }
    record.append(config.recordPath, earlier->file.completeBytes);
  } else if (!config.recordPath.empty()) {
    record.create(config.recordPath, header);
  }

  std::vector<int> toPlay;
  for (int k = firstGame; k < endGame; ++k) {
    if (recorded.count(k) == 0) toPlay.push_back(k);
  }
  const int slotCount = std::max(1, std::min(config.concurrency, static_cast<int>(toPlay.size())));
  std::vector<std::unique_ptr<GameSlot>> slots;
  if (!toPlay.empty()) {
    for (int i = 0; i < slotCount; ++i) slots.push_back(std::make_unique<GameSlot>(config, setups, root.path, i));
  }

  std::mutex mutex;
  std::condition_variable finished;
  const size_t playCount = toPlay.size();
  std::vector<std::optional<GameRecord>> games(playCount);
  std::vector<std::exception_ptr> failures(playCount);
  std::vector<bool> done(playCount, false);
  std::atomic<size_t> nextPlay{0};
  std::atomic<int> lastNeeded{endGame - 1};
  int workersLeft = static_cast<int>(slots.size());

  std::vector<std::thread> workers;
  for (size_t i = 0; i < slots.size(); ++i) {
    workers.emplace_back([&, i] {
      GameSlot& slot = *slots[i];
      while (!stopRequested()) {
        const size_t p = nextPlay.fetch_add(1);
        if (p >= playCount || toPlay[p] > lastNeeded.load()) break;
        std::optional<GameRecord> game;
        std::exception_ptr failure;
        try {
          game = slot.play(toPlay[p], lastNeeded);
        } catch (...) {
          failure = std::current_exception();
        }
        {
          std::lock_guard<std::mutex> lock(mutex);
          games[p] = std::move(game);
          failures[p] = failure;
          done[p] = true;
        }
        finished.notify_all();
        if (failure) break;
      }
      slot.stopEngines();
      {
        std::lock_guard<std::mutex> lock(mutex);
        --workersLeft;
      }
      finished.notify_all();
    });
  }

  // A shard's games alone do not decide the test: 'tovrane merge' does.
  const SprtSetup sprt = config.shards == 1 ? sprtOf(header) : SprtSetup{};
  MatchReport report(names, pairings, header.totalGames(), sprt, header.clock, out);
  std::exception_ptr failure;
  size_t p = 0;  // the next of toPlay to report
  bool gap = false;  // a game of this run was not finished: stopped
  // The workers must be joined however this loop ends: a failure to write
  // the record stops them like a failed game.
  try {
    for (int k = firstGame; k < endGame && !report.decided(); ++k) {
      if (recorded.count(k) > 0) {
        report.add(std::move(recorded[k]));
      } else if (!gap) {
        std::unique_lock<std::mutex> lock(mutex);
        finished.wait(lock, [&] { return done[p] || workersLeft == 0; });
        if (failures[p]) {
          failure = failures[p];
          break;
        }
        if (!done[p] || !games[p]) {
          gap = true;
        } else {
          GameRecord game = std::move(*games[p]);
          lock.unlock();
          record.write(gameRecordText(game));
          report.add(std::move(game));
        }
        ++p;
      } else {
        // Stopped: the games finished after the first unfinished one count too.
        std::unique_lock<std::mutex> lock(mutex);
        finished.wait(lock, [&] { return workersLeft == 0; });
        if (done[p] && games[p]) {
          record.write(gameRecordText(*games[p]));
          report.add(std::move(*games[p]));
        }
        ++p;
      }
      if (report.decided()) lastNeeded = k;
    }
  } catch (...) {
    failure = std::current_exception();
  }
  if (failure) {
    lastNeeded = -1;
    requestStop(SIGTERM);
  }
  for (std::thread& w : workers) w.join();
  if (failure) std::rethrow_exception(failure);

  report.finish();
  MatchResult& result = report.result();
  if (earlier) {
    out << "resumed: " << earlier->file.games.size() << " game(s) were already in " << config.recordPath << "\n";
    if (earlier->file.droppedPartial) out << "note: a game cut short at the end of the record was dropped\n";
  }
  if (config.shards > 1) {
    out << "shard " << config.shard << "/" << config.shards << ": games " << firstGame + 1 << "-" << endGame << " of "
        << header.totalGames() << "; 'tovrane merge' reports the shards' records together\n";
  }
  if (gap) {
    result.stopSignal = stopSignal();
    out << "stopped by " << signalName(result.stopSignal) << " after " << result.games.size() << " of "
        << endGame - firstGame << " games"
        << (config.recordPath.empty() ? "" : "; --resume continues it from " + config.recordPath) << "\n";
  }
  return result;
}

MatchResult mergeRecords(const std::vector<std::string>& paths, std::ostream& out,
                         const std::optional<SprtSetup>& sprt) {
  std::vector<ReadRecord> records;
  for (const std::string& path : paths) records.push_back(readRecord(path));
  if (records.empty()) throw MatchError("no record files given");
  const MatchHeader& header = records[0].header;
  const std::vector<Pairing> pairings = header.pairings();
  std::map<int, std::pair<GameRecord, size_t>> games;  // by number: the game and its file
  std::vector<std::string> notes;
  for (size_t i = 0; i < records.size(); ++i) {
    const std::string difference = matchDifference(header, records[i].header, false);
    if (!difference.empty()) {
      throw MatchError(paths[0] + " and " + paths[i] + " belong to different matches (" + difference + ")");
    }
    if (records[i].file.droppedPartial) notes.push_back(paths[i] + ": a game cut short at the end was dropped");
    for (GameRecord& g : records[i].file.games) {
      if (g.number < 1 || g.number > header.totalGames()) {
        throw MatchError(paths[i] + ": game " + std::to_string(g.number) + " is not a game of this match");
      }
      const int number = g.number;
      const auto [it, fresh] = games.emplace(number, std::make_pair(recordedGame(std::move(g), header, pairings, paths[i]), i));
      if (!fresh) {
        throw MatchError("game " + std::to_string(it->first) + " is in both " + paths[it->second.second] + " and " +
                         paths[i]);
      }
    }
  }
  MatchReport report(header.names, pairings, header.totalGames(), sprt ? *sprt : sprtOf(header), header.clock, out);
  for (auto& [number, game] : games) {
    if (report.decided()) break;
    report.add(std::move(game.first));
  }
  report.finish();
  const int have = static_cast<int>(games.size());
  if (!report.decided() && have < header.totalGames()) {
    notes.push_back(std::to_string(header.totalGames() - have) + " of the match's " +
                    std::to_string(header.totalGames()) + " games are in none of these records");
  }
  for (const std::string& n : notes) out << "note: " << n << "\n";
  return report.result();
}

}  // namespace tovrane
