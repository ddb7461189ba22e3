#pragma once
// A game the server keeps: the session, the players' names, the page's
// settings, the engine's search while it thinks, and the game's saved form
// (one small JSON file per game in the state folder), from which a restarted
// server brings it back with its result and its running clock.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "serve/api_json.h"
#include "serve/game_session.h"

namespace tovrane::web {

struct LiveGame {
  std::mutex mutex;
  GameSession session;
  std::string blackName;
  std::string whiteName;
  json settings = json::object();              // the page's: opponent, your side, seconds
  Clock::time_point turnStart = Clock::now();  // a move is timed from here
  uint64_t version = 0;                        // counts the changes, for pages watching the game
  // An engine request owns the game's next move while thinking; a resign,
  // take-back or stop ends that ownership at once (a new ticket) and stops
  // the search through its flag.
  bool thinking = false;
  uint64_t searchTicket = 0;
  std::shared_ptr<std::atomic<bool>> searchStop;
  // The evaluation graph: an entry (or null) per position of the moves in
  // evalMoves, which may be ahead of or apart from the game's.
  std::vector<Move> evalMoves;
  std::vector<json> evals{json()};

  // Stops the engine's search, if one runs for this game.
  void stopSearch();
};

// The game as saved: everything needed to rebuild it.
json gameSnapshot(const LiveGame& game);
// The game rebuilt from a snapshot; throws std::runtime_error when the
// snapshot does not make a game.
std::shared_ptr<LiveGame> gameFromSnapshot(const json& snapshot);

// The state folder: a file per game, written whole and then renamed into
// place, so a crash leaves the old file or the new one. Empty folder: none.
class GameStore {
 public:
  explicit GameStore(std::string folder);
  bool enabled() const { return !folder_.empty(); }
  // Returns an error message, or empty.
  std::string save(const std::string& id, const LiveGame& game) const;
  // The game's snapshot, when the folder holds one.
  std::optional<json> load(const std::string& id) const;

 private:
  std::string folder_;
};

}  // namespace tovrane::web
