#include "serve/live_game.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "rules/game_rules.h"

namespace tovrane::web {

namespace {

using SystemClock = std::chrono::system_clock;

double wallSeconds(SystemClock::time_point t) {
  return std::chrono::duration<double>(t.time_since_epoch()).count();
}

Side sideNamed(const std::string& word) {
  if (word == "black") return kBlack;
  if (word == "white") return kWhite;
  throw std::runtime_error("a side is black or white, not '" + word + "'");
}

}  // namespace

void LiveGame::stopSearch() {
  if (!thinking) return;
  if (searchStop) searchStop->store(true);
  thinking = false;
  ++searchTicket;
}

json gameSnapshot(const LiveGame& game) {
  const GameSession& s = game.session;
  json moves = json::array();
  for (const SessionPly& ply : s.plies()) moves.push_back({moveText(ply.move), ply.seconds});
  json end = nullptr;
  // Ends by the rules follow from the moves; these two do not.
  if (s.end() == SessionEnd::kResigned || s.end() == SessionEnd::kTimeForfeit) {
    end = {{"end", sessionEndCode(s.end())}, {"side", sideWord(opponent(s.winner()))}};
  }
  // The turn's start on the wall clock, which a restarted server shares.
  const double turnWall = wallSeconds(SystemClock::now()) - secondsSince(game.turnStart);
  const std::string rules = rulesName(s.rules());
  return {{"black", game.blackName},
          {"white", game.whiteName},
          {"settings", game.settings},
          {"rules", rules},
          {"clock", {{"initial", s.clock().initialSeconds}, {"increment", s.clock().incrementSeconds}}},
          {"start", boardDigits(s.startBoard())},
          {"startSide", sideWord(s.startSide())},
          {"moves", moves},
          {"end", end},
          {"turnWall", turnWall},
          {"version", game.version}};
}

std::shared_ptr<LiveGame> gameFromSnapshot(const json& snap) {
  try {
    auto game = std::make_shared<LiveGame>();
    const auto rules = rulesByName(snap.at("rules").get<std::string>());
    if (!rules) throw std::runtime_error("unknown rules");
    ClockSettings clock;
    clock.initialSeconds = snap.at("clock").at("initial").get<double>();
    clock.incrementSeconds = snap.at("clock").at("increment").get<double>();
    Board start{};
    if (!parseBoardDigits(snap.at("start").get<std::string>(), start)) throw std::runtime_error("a bad board");
    game->session = GameSession(*rules, clock, start, sideNamed(snap.at("startSide").get<std::string>()));
    for (const json& ply : snap.at("moves")) {
      const std::string word = ply.at(0).get<std::string>();
      if (word.size() != 4 || !isOnBoardMoveText(word)) throw std::runtime_error("a bad move word");
      std::string why;
      if (!game->session.play(readMoveText(word.c_str()), ply.at(1).get<double>(), why)) {
        throw std::runtime_error(why);
      }
    }
    const json& end = snap.at("end");
    if (end.is_object() && !game->session.over()) {
      const Side loser = sideNamed(end.at("side").get<std::string>());
      if (end.at("end") == "resigned") {
        game->session.resign(loser);
      } else {
        game->session.forfeitOnTime(loser);
      }
    }
    game->blackName = snap.at("black").get<std::string>();
    game->whiteName = snap.at("white").get<std::string>();
    game->settings = snap.value("settings", json::object());
    // Pages that watched the game before know its versions up to this one.
    game->version = snap.value("version", uint64_t{0}) + 1;
    const double since = wallSeconds(SystemClock::now()) - snap.at("turnWall").get<double>();
    game->turnStart = Clock::now() - std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(std::max(0.0, since)));
    return game;
  } catch (const json::exception& e) {
    throw std::runtime_error(std::string("a saved game is damaged: ") + e.what());
  }
}

GameStore::GameStore(std::string folder) : folder_(std::move(folder)) {}

std::string GameStore::save(const std::string& id, const LiveGame& game) const {
  if (!enabled()) return {};
  namespace fs = std::filesystem;
  std::error_code error;
  fs::create_directories(folder_, error);
  const fs::path file = fs::path(folder_) / (id + ".json");
  const fs::path temporary = fs::path(folder_) / (id + ".json.new");
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << dumpJson(gameSnapshot(game)) << '\n';
    if (!out.flush()) return "cannot write " + temporary.string();
  }
  fs::rename(temporary, file, error);
  return error ? "cannot write " + file.string() + ": " + error.message() : std::string();
}

std::optional<json> GameStore::load(const std::string& id) const {
  if (!enabled()) return std::nullopt;
  std::ifstream in(std::filesystem::path(folder_) / (id + ".json"), std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  json snapshot = json::parse(text.str(), nullptr, false);
  if (snapshot.is_discarded()) return std::nullopt;
  return snapshot;
}

}  // namespace tovrane::web
