// The routes of games and moves: the levels and engines on offer, the
// board's circuits, new games, their state, moves, take-backs, resignations
// and the engine's moves.
#include "serve/web_server_impl.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "rules/move_generator.h"
#include "serve/capture_path.h"

namespace tovrane {

namespace web {

namespace {

constexpr double kMaxClockSeconds = 3 * 3600;
constexpr double kMaxIncrementSeconds = 60;

}  // namespace

EngineQuestion questionFor(const GameSession& session, size_t plies, double budget) {
  EngineQuestion question;
  question.board = session.boards()[plies];
  question.side = plies % 2 == 0 ? session.startSide() : opponent(session.startSide());
  question.start = session.startBoard();
  question.startSide = session.startSide();
  for (size_t i = 0; i < plies; ++i) question.history.push_back(session.plies()[i].move);
  question.rules = session.rules();
  question.budgetSeconds = budget;
  question.seed = std::random_device{}();
  return question;
}

EngineQuestion questionFor(const GameSession& session, double budget) {
  return questionFor(session, session.plies().size(), budget);
}

}  // namespace web

std::string WebServer::Impl::createGame(std::shared_ptr<LiveGame> game, const std::string& wantedId) {
  std::lock_guard<std::mutex> lock(gamesMutex);
  const auto now = Clock::now();
  for (auto it = games.begin(); it != games.end();) {
    const bool idle = std::chrono::duration<double>(now - it->second.lastUsed).count() > config.idleSeconds;
    it = idle ? games.erase(it) : std::next(it);
  }
  while (!games.empty() && static_cast<int>(games.size()) >= config.maxGames) {
    auto oldest = games.begin();
    for (auto it = games.begin(); it != games.end(); ++it) {
      if (it->second.lastUsed < oldest->second.lastUsed) oldest = it;
    }
    games.erase(oldest);  // a request still holding it finishes on its own copy
  }
  auto taken = [&](const std::string& key) { return games.count(key) != 0 || store.load(key).has_value(); };
  std::string key = wantedId;
  if (key.size() != 16 || key.find_first_not_of("0123456789abcdef") != std::string::npos || taken(key)) {
    char id[17];
    do {
      std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(idSource()));
      key = id;
    } while (taken(key));
  }
  games[key] = {std::move(game), now};
  return key;
}

std::shared_ptr<LiveGame> WebServer::Impl::findGame(const std::string& id) {
  std::lock_guard<std::mutex> lock(gamesMutex);
  auto it = games.find(id);
  const auto now = Clock::now();
  if (it != games.end() && std::chrono::duration<double>(now - it->second.lastUsed).count() > config.idleSeconds) {
    games.erase(it);
    it = games.end();
  }
  if (it == games.end()) {
    // Dropped from memory, or from before a restart: the state folder has it.
    std::shared_ptr<LiveGame> saved;
    if (const auto snapshot = store.load(id)) {
      try {
        saved = gameFromSnapshot(*snapshot);
      } catch (const std::exception&) {
        saved = nullptr;
      }
    }
    if (!saved) refuse(404, "no game " + id + " (games idle for a long time are dropped); start a new game");
    it = games.emplace(id, Entry{saved, now}).first;
  }
  it->second.lastUsed = now;
  return it->second.game;
}

void WebServer::Impl::changed(const std::string& id, LiveGame& game) const {
  ++game.version;
  const std::string error = store.save(id, game);
  if (!error.empty()) std::fprintf(stderr, "tovrane serve: %s\n", error.c_str());
}

const EngineKind& WebServer::Impl::engineField(const json& body, double& budget) const {
  if (!body.contains("engine") || !body["engine"].is_string()) refuse(400, "engine must be given as a string");
  const std::string id = body["engine"].get<std::string>();
  const EngineKind* kind = findEngineKind(id);
  if (kind == nullptr) refuse(400, "unknown engine '" + id.substr(0, 40) + "'");
  budget = kind->askSeconds ? numberField(body, "seconds", 0.01, config.maxBudgetSeconds) : kind->seconds;
  return *kind;
}

json WebServer::Impl::stateJson(const std::string& id, LiveGame& game) const {
  GameSession& s = game.session;
  const bool timed = s.clock().initialSeconds > 0;
  // A flag falls when the state is next looked at (not while an engine
  // thinks: its move is timed when it comes).
  if (timed && !s.over() && !game.thinking && secondsSince(game.turnStart) > s.timeLeft(s.toMove())) {
    s.forfeitOnTime(s.toMove());
    changed(id, game);
  }
  json moves = json::array();
  json boards = json::array();
  Side side = s.startSide();
  for (size_t i = 0; i < s.plies().size(); ++i) {
    const SessionPly& ply = s.plies()[i];
    // A capture with the path it travelled, for the page's animation.
    moves.push_back({{"move", moveText(ply.move)},
                     {"side", sideWord(side)},
                     {"seconds", ply.seconds},
                     {"capture", ply.capture},
                     {"path", ply.capture ? squaresJson(capturePath(s.boards()[i], ply.move)) : json::array()}});
    side = opponent(side);
  }
  for (const Board& board : s.boards()) boards.push_back(boardDigits(board));
  const std::string rules = rulesName(s.rules());
  json state = {{"id", id},
                {"version", game.version},
                {"settings", game.settings},
                {"board", boardDigits(s.board())},
                {"toMove", sideWord(s.toMove())},
                {"black", game.blackName},
                {"white", game.whiteName},
                {"start", boardDigits(s.startBoard())},
                {"startSide", sideWord(s.startSide())},
                {"fromInitial", s.fromInitial()},
                {"rules", rules.empty() ? "custom" : rules},
                {"quietPlies", s.quietPlies()},
                {"moves", moves},
                {"boards", boards},
                {"over", s.over()},
                {"result", nullptr},
                {"end", nullptr},
                {"reason", nullptr},
                {"clock", nullptr},
                {"thinking", game.thinking},
                {"legal", json::array()}};
  if (timed) {
    auto left = [&](Side who) {
      const bool running = !s.over() && who == s.toMove();
      return std::max(0.0, s.timeLeft(who) - (running ? secondsSince(game.turnStart) : 0.0));
    };
    state["clock"] = {{"initial", s.clock().initialSeconds},
                      {"increment", s.clock().incrementSeconds},
                      {"black", left(kBlack)},
                      {"white", left(kWhite)},
                      {"running", s.over() ? json() : json(sideWord(s.toMove()))}};
  }
  if (s.over()) {
    state["result"] = resultWord(s.winner());
    state["end"] = sessionEndCode(s.end());
    state["reason"] = s.reason();
  } else {
    state["legal"] = legalMovesJson(s.board(), s.toMove());
  }
  return state;
}

void WebServer::Impl::gameRoutes() {
  http.Get("/api/engines", api([this](const httplib::Request&) {
             json engines = json::array();
             for (const EngineKind& kind : engineKinds()) {
               engines.push_back({{"id", kind.id},
                                  {"label", kind.label},
                                  {"level", kind.isLevel},
                                  {"timeBudget", kind.askSeconds}});
             }
             json rules = json::array();
             for (const RulesPreset& preset : rulesPresets()) {
               rules.push_back({{"name", preset.name}, {"meaning", preset.meaning}});
             }
             // The seconds per move a request may ask for.
             const json seconds = {{"min", 0.01}, {"max", config.maxBudgetSeconds}};
             return json{{"engines", engines}, {"rules", rules}, {"seconds", seconds}};
           }));

  // The two circuits, one lap each, for drawing the board: lines between
  // neighbouring entries, a corner loop where both coordinates change.
  http.Get("/api/circuits", api([](const httplib::Request&) {
             auto lap = [](const CircuitRing& ring) {
               std::vector<Square> squares;
               for (int k = 0; k < kLapLength; ++k) squares.push_back({ring.rows[k], ring.cols[k]});
               return squaresJson(squares);
             };
             return json{{"small", lap(smallRing)}, {"large", lap(largeRing)}};
           }));

  // A new game: {black, white, rules, clock: {seconds, increment},
  // start: {board, side}, moves: [...]}, every field optional.
  http.Post("/api/games", api([this](const httplib::Request& req) {
              const json body = parseBody(req);
              GameRules rules;
              if (body.contains("rules")) {
                const json& name = body["rules"];
                const auto preset = name.is_string() ? rulesByName(name.get<std::string>()) : std::nullopt;
                if (!preset) refuse(400, "rules must be one of draw80, pieces50-repetition, pieces80");
                rules = *preset;
              }
              ClockSettings clock;
              json left = json::object();  // clock times left, from a game's link
              if (body.contains("clock")) {
                const json& c = body["clock"];
                if (!c.is_object()) refuse(400, "clock must be {seconds, increment}");
                clock.initialSeconds = numberField(c, "seconds", 1, kMaxClockSeconds);
                if (c.contains("increment")) clock.incrementSeconds = numberField(c, "increment", 0, kMaxIncrementSeconds);
                for (const char* side : {"black", "white"}) {
                  if (c.contains(side)) left[side] = numberField(c, side, 0, kMaxClockSeconds + 1000 * kMaxIncrementSeconds);
                }
              }
              auto game = std::make_shared<LiveGame>();
              game->settings = settingsField(body);
              if (body.contains("start")) {
                const json& start = body["start"];
                Board board{};
                if (!start.is_object() || !start.contains("board") || !start["board"].is_string() ||
                    !parseBoardDigits(start["board"].get<std::string>(), board)) {
                  refuse(400, "start must be {board: 36 digits 0, 1 (white) or 2 (black), side}");
                }
                if (countPieces(board, kBlack) > kPiecesPerSide || countPieces(board, kWhite) > kPiecesPerSide) {
                  refuse(400, "a side has at most 12 pieces");
                }
                game->session = GameSession(rules, clock, board, sideField(start, "side"));
              } else {
                game->session = GameSession(rules, clock);
              }
              if (body.contains("moves")) {
                const json& moves = body["moves"];
                if (!moves.is_array() || moves.size() > kMaxPastedMoves) {
                  refuse(400, "moves must be a list of at most 1000 move words");
                }
                // With the clock's times left, each side's last move takes
                // the time that side has used.
                std::vector<double> seconds(moves.size(), 0);
                Side side = game->session.startSide();
                for (const Side who : {kBlack, kWhite}) {
                  if (!left.contains(sideWord(who))) continue;
                  int count = 0;
                  size_t last = moves.size();
                  for (size_t i = 0; i < moves.size(); ++i) {
                    if ((i % 2 == 0 ? side : opponent(side)) == who) ++count, last = i;
                  }
                  const double used = clock.initialSeconds + count * clock.incrementSeconds - left[sideWord(who)].get<double>();
                  if (last < moves.size()) seconds[last] = std::max(0.0, used);
                }
                for (size_t i = 0; i < moves.size(); ++i) {
                  const std::string what = "ply " + std::to_string(i + 1);
                  const Move move = moveWord(moves[i], what);
                  std::string why;
                  if (!game->session.play(move, seconds[i], why)) refuse(422, what + ": " + why);
                }
              }
              // How a game from a link ended, when not by the rules.
              if (body.contains("end") && !body["end"].is_null()) {
                const json& end = body["end"];
                if (!end.is_object() || !end.contains("end") ||
                    (end["end"] != "resigned" && end["end"] != "time-forfeit")) {
                  refuse(400, "end must be {end: \"resigned\" or \"time-forfeit\", side: the loser}");
                }
                const Side loser = sideField(end, "side");
                if (!game->session.over()) {
                  if (end["end"] == "resigned") game->session.resign(loser);
                  else game->session.forfeitOnTime(loser);
                }
              }
              game->blackName = nameField(body, "black", "black");
              game->whiteName = nameField(body, "white", "white");
              std::string wanted;
              if (body.contains("id") && body["id"].is_string()) wanted = body["id"].get<std::string>();
              const std::string id = createGame(game, wanted);
              std::lock_guard<std::mutex> lock(game->mutex);
              game->turnStart = Clock::now();
              changed(id, *game);
              return stateJson(id, *game);
            }));

  // The state; with ?version=N, only {id, version, same: true} while the
  // game is still at that version (pages watching a game ask often).
  http.Get(R"(/api/games/([0-9a-f]{16}))", api([this](const httplib::Request& req) {
             const std::string known = req.get_param_value("version");
             return withGame(req, false, [&](const std::string& id, LiveGame& g) {
               const json state = stateJson(id, g);
               if (!known.empty() && known == std::to_string(g.version)) {
                 return json{{"id", id}, {"version", g.version}, {"same", true}};
               }
               return state;
             });
           }));

  // A move; with ply (the number of plies the page saw before it), a move
  // sent twice is played once and the second request gets the state.
  http.Post(R"(/api/games/([0-9a-f]{16})/move)", api([this](const httplib::Request& req) {
              const json body = parseBody(req);
              if (!body.contains("move")) refuse(400, "move must be given as a string");
              const Move move = moveWord(body["move"], "move");
              int64_t ply = -1;
              if (body.contains("ply")) {
                if (!body["ply"].is_number_integer() || body["ply"].get<int64_t>() < 0) {
                  refuse(400, "ply must be a whole number, the plies played before the move");
                }
                ply = body["ply"].get<int64_t>();
              }
              return withGame(req, true, [&](const std::string& id, LiveGame& g) {
                const auto& plies = g.session.plies();
                if (ply >= 0 && static_cast<size_t>(ply) < plies.size() && plies[static_cast<size_t>(ply)].move == move) {
                  return stateJson(id, g);  // played already
                }
                if (ply >= 0 && static_cast<size_t>(ply) != plies.size()) {
                  refuse(409, "the game has moved on (" + std::to_string(plies.size()) + " plies now); look again");
                }
                std::string why;
                if (!g.session.play(move, secondsSince(g.turnStart), why)) refuse(422, why);
                g.turnStart = Clock::now();
                changed(id, g);
                return stateJson(id, g);
              });
            }));

  // Take back and resign work while the engine thinks: its search stops.
  http.Post(R"(/api/games/([0-9a-f]{16})/takeback)", api([this](const httplib::Request& req) {
              const json body = parseBody(req);
              int plies = 1;
              if (body.contains("plies")) {
                if (!body["plies"].is_number_integer()) refuse(400, "plies must be a whole number");
                const int64_t count = body["plies"].get<int64_t>();
                if (count < 1 || count > kMaxPastedMoves) refuse(400, "plies must be from 1 to 1000");
                plies = static_cast<int>(count);
              }
              return withGame(req, false, [&](const std::string& id, LiveGame& g) {
                g.stopSearch();
                g.session.takeBack(plies);
                g.turnStart = Clock::now();
                changed(id, g);
                return stateJson(id, g);
              });
            }));

  http.Post(R"(/api/games/([0-9a-f]{16})/resign)", api([this](const httplib::Request& req) {
              const json body = parseBody(req);
              const Side side = sideField(body, "side");
              return withGame(req, false, [&](const std::string& id, LiveGame& g) {
                if (g.session.over()) refuse(409, "the game is over: " + g.session.reason());
                g.stopSearch();
                g.session.resign(side);
                changed(id, g);
                return stateJson(id, g);
              });
            }));

  // Stops the engine's search in this game (a page leaving it, or starting
  // another); its engine request is answered 409.
  http.Post(R"(/api/games/([0-9a-f]{16})/stop)", api([this](const httplib::Request& req) {
              return withGame(req, false, [&](const std::string& id, LiveGame& g) {
                if (g.thinking) {
                  g.stopSearch();
                  changed(id, g);
                }
                return stateJson(id, g);
              });
            }));

  http.Post(R"(/api/games/([0-9a-f]{16})/engine)", api([this](const httplib::Request& req) {
              const json body = parseBody(req);
              double budget = 0;
              const EngineKind& kind = engineField(body, budget);
              const std::string id = req.matches[1];
              std::shared_ptr<LiveGame> game = findGame(id);
              EngineQuestion question;
              auto stop = std::make_shared<std::atomic<bool>>(false);
              uint64_t ticket = 0;
              {
                std::lock_guard<std::mutex> lock(game->mutex);
                if (game->thinking) refuse(409, "the engine is thinking in this game");
                stateJson(id, *game);  // a fallen flag first
                const GameSession& s = game->session;
                if (s.over()) refuse(409, "the game is over: " + s.reason());
                if (budget > 0 && s.clock().initialSeconds > 0) {
                  // Within the clock: a fifteenth of the time left.
                  budget = std::min(budget, std::max(0.01, (s.timeLeft(s.toMove()) - secondsSince(game->turnStart)) / 15));
                }
                question = questionFor(s, budget);
                question.stop = stop.get();
                game->thinking = true;
                game->searchStop = stop;
                ticket = ++game->searchTicket;
                ++game->version;  // pages watching see the engine think
              }
              // The game's search no longer wanted: a resign, a take-back, a
              // stop, or this request running out of time.
              auto mine = [&] { return game->thinking && game->searchTicket == ticket; };
              EngineAnswer answer;
              double seconds = 0;
              try {
                answer = runSearch<EngineAnswer>(
                    kind.id, [think = kind.think, question, stop] { return think(question); }, seconds, stop);
              } catch (...) {
                std::lock_guard<std::mutex> lock(game->mutex);
                if (mine()) {
                  game->thinking = false;
                  ++game->version;
                }
                throw;
              }
              std::lock_guard<std::mutex> lock(game->mutex);
              if (!mine()) refuse(409, "the game changed while the engine thought");
              game->thinking = false;
              std::string why;
              if (!answer.moved || !game->session.play(answer.move, seconds, why)) {
                refuse(500, std::string(kind.id) + " found no move: " + why);
              }
              game->turnStart = Clock::now();
              changed(id, *game);
              return json{{"state", stateJson(id, *game)}, {"answer", answerJson(answer, seconds)}};
            }));
}

json WebServer::Impl::settingsField(const json& body) const {
  json out = json::object();
  if (!body.contains("settings")) return out;
  const json& s = body["settings"];
  if (!s.is_object()) refuse(400, "settings must be {vs, you, seconds}");
  if (s.contains("vs")) {
    if (!s["vs"].is_string()) refuse(400, "settings.vs must be an engine's name or \"two\"");
    const std::string vs = s["vs"].get<std::string>();
    const EngineKind* kind = findEngineKind(vs);
    if (kind == nullptr && vs != "two") refuse(400, "unknown opponent '" + vs.substr(0, 40) + "'");
    out["vs"] = vs;
    // The seconds an engine-pro game will ask for, checked before the game.
    if (kind != nullptr && kind->askSeconds) out["seconds"] = numberField(s, "seconds", 0.01, config.maxBudgetSeconds);
  }
  if (s.contains("you")) out["you"] = sideWord(sideField(s, "you"));
  return out;
}

}  // namespace tovrane
