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

std::string WebServer::Impl::createGame(std::shared_ptr<LiveGame> game) {
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
  char id[17];
  std::string key;
  do {
    std::snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(idSource()));
    key = id;
  } while (games.count(key) != 0);
  games[key] = {std::move(game), now};
  return key;
}

std::shared_ptr<LiveGame> WebServer::Impl::findGame(const std::string& id) {
  std::lock_guard<std::mutex> lock(gamesMutex);
  const auto it = games.find(id);
  const auto now = Clock::now();
  if (it == games.end() ||
      std::chrono::duration<double>(now - it->second.lastUsed).count() > config.idleSeconds) {
    if (it != games.end()) games.erase(it);
    refuse(404, "no game " + id + " (games idle for a long time are dropped); start a new game");
  }
  it->second.lastUsed = now;
  return it->second.game;
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
  }
  json moves = json::array();
  json boards = json::array();
  Side side = s.startSide();
  for (const SessionPly& ply : s.plies()) {
    moves.push_back(
        {{"move", moveText(ply.move)}, {"side", sideWord(side)}, {"seconds", ply.seconds}, {"capture", ply.capture}});
    side = opponent(side);
  }
  for (const Board& board : s.boards()) boards.push_back(boardDigits(board));
  const std::string rules = rulesName(s.rules());
  json state = {{"id", id},
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
  http.Get("/api/engines", api([](const httplib::Request&) {
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
             return json{{"engines", engines}, {"rules", rules}};
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
              if (body.contains("clock")) {
                const json& c = body["clock"];
                if (!c.is_object()) refuse(400, "clock must be {seconds, increment}");
                clock.initialSeconds = numberField(c, "seconds", 1, kMaxClockSeconds);
                if (c.contains("increment")) clock.incrementSeconds = numberField(c, "increment", 0, kMaxIncrementSeconds);
              }
              auto game = std::make_shared<LiveGame>();
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
                for (size_t i = 0; i < moves.size(); ++i) {
                  const std::string what = "ply " + std::to_string(i + 1);
                  const Move move = moveWord(moves[i], what);
                  std::string why;
                  if (!game->session.play(move, 0, why)) refuse(422, what + ": " + why);
                }
              }
              game->blackName = nameField(body, "black", "black");
              game->whiteName = nameField(body, "white", "white");
              const std::string id = createGame(game);
              std::lock_guard<std::mutex> lock(game->mutex);
              game->turnStart = Clock::now();
              return stateJson(id, *game);
            }));

  http.Get(R"(/api/games/([0-9a-f]{16}))", api([this](const httplib::Request& req) {
             return withGame(req, false, [this](const std::string& id, LiveGame& g) { return stateJson(id, g); });
           }));

  http.Post(R"(/api/games/([0-9a-f]{16})/move)", api([this](const httplib::Request& req) {
              const json body = parseBody(req);
              if (!body.contains("move")) refuse(400, "move must be given as a string");
              const Move move = moveWord(body["move"], "move");
              return withGame(req, true, [&](const std::string& id, LiveGame& g) {
                std::string why;
                if (!g.session.play(move, secondsSince(g.turnStart), why)) refuse(422, why);
                g.turnStart = Clock::now();
                return stateJson(id, g);
              });
            }));

  http.Post(R"(/api/games/([0-9a-f]{16})/takeback)", api([this](const httplib::Request& req) {
              const json body = parseBody(req);
              int plies = 1;
              if (body.contains("plies")) {
                if (!body["plies"].is_number_integer()) refuse(400, "plies must be a whole number");
                const int64_t count = body["plies"].get<int64_t>();
                if (count < 1 || count > kMaxPastedMoves) refuse(400, "plies must be from 1 to 1000");
                plies = static_cast<int>(count);
              }
              return withGame(req, true, [&](const std::string& id, LiveGame& g) {
                g.session.takeBack(plies);
                g.turnStart = Clock::now();
                return stateJson(id, g);
              });
            }));

  http.Post(R"(/api/games/([0-9a-f]{16})/resign)", api([this](const httplib::Request& req) {
              const json body = parseBody(req);
              const Side side = sideField(body, "side");
              return withGame(req, true, [&](const std::string& id, LiveGame& g) {
                if (g.session.over()) refuse(409, "the game is over: " + g.session.reason());
                g.session.resign(side);
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
              size_t plies = 0;
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
                plies = s.plies().size();
                game->thinking = true;
              }
              EngineAnswer answer;
              double seconds = 0;
              try {
                answer = runSearch<EngineAnswer>(kind.id, [think = kind.think, question] { return think(question); },
                                                 seconds);
              } catch (...) {
                std::lock_guard<std::mutex> lock(game->mutex);
                game->thinking = false;
                throw;
              }
              std::lock_guard<std::mutex> lock(game->mutex);
              game->thinking = false;
              if (game->session.plies().size() != plies || game->session.over()) {
                refuse(409, "the game changed while the engine thought");
              }
              std::string why;
              if (!answer.moved || !game->session.play(answer.move, seconds, why)) {
                refuse(500, std::string(kind.id) + " found no move: " + why);
              }
              game->turnStart = Clock::now();
              return json{{"state", stateJson(id, *game)}, {"answer", answerJson(answer, seconds)}};
            }));
}

}  // namespace tovrane
