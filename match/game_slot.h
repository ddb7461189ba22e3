#pragma once
// One game slot of a match: a process and a working directory for each of
// the match's engines, and the refereeing of one game at a time between two
// of them.

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "match/engine_process.h"
#include "match/engine_workdir.h"
#include "match/game_record.h"
#include "match/match_config.h"

namespace tovrane {

// An engine ready to be started: its program resolved to a path.
struct EngineSetup {
  std::string path;
  std::vector<std::string> args;
  std::string bookDir;
  std::string name;
};

// Starts an engine and asks "name?". Returns the name (the reply after
// "name "), or nothing with error set. Unless strict, lines before the
// name's are passed over.
std::optional<std::string> startEngine(EngineProcess& process, const EngineSetup& setup, const std::string& workDir,
                                       double moveSeconds, bool strict, std::string& error);

// One game slot: a process and a working directory for each engine, reused
// from game to game (a process starts when its engine first plays in the
// slot); an engine that lost by a fault is restarted for its next game.
class GameSlot {
 public:
  // Makes the slot's working directories below root, one per engine.
  GameSlot(const MatchConfig& config, const std::vector<EngineSetup>& setups, const std::string& root, int index);

  // Plays game number index (0-based). Returns nothing when the game was
  // abandoned because the match no longer needs it.
  std::optional<GameRecord> play(int index, const std::atomic<int>& lastNeeded);

  // Sends "stop" to every engine (killing those that do not end).
  void stopEngines();

 private:
  const MatchConfig& config_;
  const std::vector<EngineSetup>& setups_;
  std::vector<Pairing> pairings_;
  std::unique_ptr<EngineProcess[]> processes_;
  std::vector<EngineWorkDir> dirs_;
};

}  // namespace tovrane
