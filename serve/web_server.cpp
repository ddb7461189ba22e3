#include "serve/web_server.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "eval/classic_profile.h"
#include "eval/evaluator.h"
#include "match/game_record.h"
#include "rules/move_generator.h"
#include "search/pro_search.h"
#include "serve/capture_path.h"
#include "serve/engine_kinds.h"
#include "serve/game_session.h"
#include "serve/listen_socket.h"
#include "serve/request_guard.h"
#include "serve/web_assets.h"

namespace tovrane {

namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

// The largest request numbers the page may send.
constexpr int kMaxPastedMoves = 1000;
constexpr double kMaxClockSeconds = 3 * 3600;
constexpr double kMaxIncrementSeconds = 60;
// The page's evaluations: engine-pro stopped after about this many nodes per
// position, at most this many positions per request (the page asks again).
constexpr uint64_t kJudgeNodes = 150000;
constexpr int kJudgeBatch = 40;
// Win chance from a score (for the side to move; a piece is worth about
// 100): 1 / (1 + exp(-score / scale)).
constexpr double kChanceScale = 120;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

const char* sideWord(Side side) { return side == kWhite ? "white" : "black"; }

// JSON text; bytes that are not UTF-8 (from a request) become U+FFFD
// instead of an exception.
std::string dumpJson(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

// A request the server refuses: the status and the one-line message.
struct Refusal {
  int status;
  std::string message;
};

[[noreturn]] void refuse(int status, const std::string& message) { throw Refusal{status, oneLine(message)}; }

void setError(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  res.set_content(dumpJson(json{{"error", oneLine(message)}}), "application/json");
}

json squaresJson(const std::vector<Square>& squares) {
  json out = json::array();
  for (const Square& s : squares) out.push_back({s.row, s.col});
  return out;
}

// Every distinct legal move of side, in generation order, each capture with
// the path it travels.
json legalMovesJson(const Board& board, Side side) {
  MoveList list{};
  list.generateMoves(board, side);
  json out = json::array();
  std::vector<Move> seen;
  for (int i = 0; i < list.size(); ++i) {
    const Move& m = list.moves[i];
    if (std::find(seen.begin(), seen.end(), m) != seen.end()) continue;
    seen.push_back(m);
    const bool capture = board.at(m.toRow, m.toCol) != kEmpty;
    out.push_back({{"move", moveText(m)},
                   {"capture", capture},
                   {"path", capture ? squaresJson(capturePath(board, m)) : json::array()}});
  }
  return out;
}

json answerJson(const EngineAnswer& answer, double seconds) {
  if (!answer.moved) return nullptr;
  return {{"move", moveText(answer.move)}, {"score", answer.score}, {"depth", answer.depth}, {"seconds", seconds}};
}

// A player's name goes into a record line, so it must be one short line.
std::string nameField(const json& body, const char* key, const char* fallback) {
  if (!body.contains(key)) return fallback;
  const json& value = body[key];
  if (!value.is_string()) refuse(400, std::string(key) + " must be a string");
  const std::string name = value.get<std::string>();
  if (name.empty() || name.size() > 40) refuse(400, std::string(key) + " must be 1 to 40 characters");
  for (unsigned char ch : name) {
    if (ch < 0x20 || ch > 0x7e) refuse(400, std::string(key) + " may hold printable ASCII only");
  }
  return name;
}

Side sideField(const json& body, const char* key) {
  if (!body.contains(key) || !body[key].is_string()) refuse(400, std::string(key) + " must be \"black\" or \"white\"");
  const std::string word = body[key].get<std::string>();
  if (word == "black") return kBlack;
  if (word == "white") return kWhite;
  refuse(400, std::string(key) + " must be \"black\" or \"white\"");
}

double numberField(const json& body, const char* key, double low, double high) {
  if (!body.contains(key) || !body[key].is_number()) refuse(400, std::string(key) + " must be given as a number");
  const double value = body[key].get<double>();
  if (!(value >= low && value <= high)) {
    std::ostringstream text;
    text << key << " must be from " << low << " to " << high;
    refuse(400, text.str());
  }
  return value;
}

Move moveWord(const json& value, const std::string& what) {
  if (!value.is_string()) refuse(400, what + " must be given as a string");
  const std::string word = value.get<std::string>();
  if (word.size() != 4 || !isOnBoardMoveText(word)) {
    refuse(400, what + ": a move is four digits 0..5 (from-row from-col to-row to-col)");
  }
  return readMoveText(word.c_str());
}

json parseBody(const httplib::Request& req) {
  if (req.body.empty()) return json::object();
  json body = json::parse(req.body, nullptr, false);
  if (body.is_discarded()) refuse(400, "the request body is not JSON");
  if (!body.is_object()) refuse(400, "the request body must be a JSON object");
  return body;
}

// The record file's games with the board after every ply, checked move by
// move like `tovrane replay` does.
json recordsJson(const std::string& text) {
  std::istringstream in(text);
  std::vector<GameRecord> games;
  try {
    games = readGameRecords(in);
  } catch (const std::exception& e) {
    refuse(400, std::string("record ") + e.what());
  }
  if (games.empty()) refuse(400, "the record holds no games");
  json out = json::array();
  for (const GameRecord& game : games) {
    Board board{};
    resetBoard(board);
    json start = boardDigits(board);
    Side side = kBlack;
    json plies = json::array();
    for (int i = 0; i < game.plies(); ++i) {
      const PlayedMove& played = game.moves[static_cast<size_t>(i)];
      if (!isLegalMove(board, side, played.move)) {
        refuse(422, "game " + std::to_string(game.number) + ", ply " + std::to_string(i + 1) + ": " +
                        moveText(played.move) + " is not a legal move");
      }
      const bool capture = board.at(played.move.toRow, played.move.toCol) != kEmpty;
      const json path = capture ? squaresJson(capturePath(board, played.move)) : json::array();
      applyMove(board, played.move);
      plies.push_back({{"move", moveText(played.move)},
                       {"side", sideWord(side)},
                       {"seconds", played.seconds},
                       {"capture", capture},
                       {"path", path},
                       {"board", boardDigits(board)}});
      side = opponent(side);
    }
    out.push_back({{"number", game.number},
                   {"black", game.blackName},
                   {"white", game.whiteName},
                   {"opening", openingText(game.opening)},
                   {"result", game.end == GameEnd::kUnfinished ? "none" : resultWord(game.winner)},
                   {"end", gameEndCode(game.end)},
                   {"reason", game.reason},
                   {"start", start},
                   {"plies", plies}});
  }
  return {{"games", out}};
}

// The question about the position after the first plies plies of session.
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

// One entry of the evaluation graph, from black's point of view.
json evalJson(int32_t sideScore, Side side, const EngineAnswer* answer) {
  const int32_t score = side == kBlack ? sideScore : -sideScore;
  json entry = {{"score", score}, {"best", nullptr}, {"depth", 0}, {"winIn", nullptr}};
  if (score > kProWinBound || score < -kProWinBound) {
    entry["chance"] = score > 0 ? 1.0 : 0.0;
    const int plies = kProWinScore - (score > 0 ? score : -score);
    entry["winIn"] = score > 0 ? plies : -plies;
  } else {
    entry["chance"] = 1 / (1 + std::exp(-score / kChanceScale));
  }
  if (answer != nullptr && answer->moved) {
    entry["best"] = moveText(answer->move);
    entry["depth"] = answer->depth;
  }
  return entry;
}

struct LiveGame {
  std::mutex mutex;
  GameSession session;
  std::string blackName;
  std::string whiteName;
  Clock::time_point turnStart = Clock::now();  // a move is timed from here
  bool thinking = false;                       // an engine request owns the game
  // The evaluation graph: an entry (or null) per position of the moves in
  // evalMoves, which may be ahead of or apart from the game's.
  std::vector<Move> evalMoves;
  std::vector<json> evals{json()};
};

std::vector<Move> movesOf(const GameSession& session) {
  std::vector<Move> moves;
  for (const SessionPly& ply : session.plies()) moves.push_back(ply.move);
  return moves;
}

// Keeps the entries of the positions the game still goes through.
void syncEvals(LiveGame& game) {
  const std::vector<Move> moves = movesOf(game.session);
  size_t same = 0;
  while (same < moves.size() && same < game.evalMoves.size() && moves[same] == game.evalMoves[same]) ++same;
  game.evals.resize(same + 1);
  game.evals.resize(moves.size() + 1);
  game.evalMoves = moves;
}

// What a running job hands back. Shared with the job's thread, which may
// outlive the request that started it when the request gives up waiting.
template <class Result>
struct SearchTask {
  std::mutex mutex;
  std::condition_variable doneSignal;
  bool done = false;
  Result result{};
  double seconds = 0;
};

// The searches running now. Shared with every search thread, so the last one
// to finish can still signal after the server object is gone.
struct SearchSlots {
  std::mutex mutex;
  std::condition_variable freed;
  int running = 0;
};

}  // namespace

struct WebServer::Impl {
  ServeConfig config;
  httplib::Server http;
  std::unique_ptr<RequestGuard> guard;
  std::shared_ptr<SearchSlots> slots = std::make_shared<SearchSlots>();
  std::atomic<bool> runEntered{false};
  std::atomic<bool> runExited{false};

  std::mutex gamesMutex;
  struct Entry {
    std::shared_ptr<LiveGame> game;
    Clock::time_point lastUsed;
  };
  std::map<std::string, Entry> games;
  std::mt19937_64 idSource{std::random_device{}()};

  explicit Impl(const ServeConfig& c) : config(c) { routes(); }

  void routes();

  // Game registry.
  std::string createGame(std::shared_ptr<LiveGame> game);
  std::shared_ptr<LiveGame> findGame(const std::string& id);

  // Runs job on a thread of its own in one of the search slots and waits
  // at most config.engineSeconds for it; what names it in a refusal.
  template <class Result>
  Result runSearch(const std::string& what, std::function<Result()> job, double& seconds);

  const EngineKind& engineField(const json& body, double& budget) const;
  json stateJson(const std::string& id, LiveGame& game) const;
};

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

template <class Result>
Result WebServer::Impl::runSearch(const std::string& what, std::function<Result()> job, double& seconds) {
  {
    std::lock_guard<std::mutex> lock(slots->mutex);
    if (slots->running >= config.searchSlots) {
      refuse(503, "all " + std::to_string(config.searchSlots) + " engine slots are busy; try again");
    }
    ++slots->running;
  }
  auto task = std::make_shared<SearchTask<Result>>();
  std::thread([task, slots = slots, job = std::move(job)] {
    const auto start = Clock::now();
    Result result = job();
    // The slot is free before the answer goes out, so that a client sending
    // its next request at once never finds it still taken.
    {
      std::lock_guard<std::mutex> lock(slots->mutex);
      --slots->running;
      slots->freed.notify_all();
    }
    {
      std::lock_guard<std::mutex> lock(task->mutex);
      task->result = std::move(result);
      task->seconds = secondsSince(start);
      task->done = true;
    }
    task->doneSignal.notify_all();
  }).detach();

  std::unique_lock<std::mutex> lock(task->mutex);
  const auto limit = std::chrono::duration<double>(config.engineSeconds);
  if (!task->doneSignal.wait_for(lock, limit, [&] { return task->done; })) {
    // The search cannot be interrupted; it finishes in the background and
    // keeps its slot until then, so runaway searches cannot pile up.
    refuse(503, what + " gave no answer within the limit of " +
                    std::to_string(static_cast<int>(config.engineSeconds)) + " s");
  }
  seconds = task->seconds;
  return task->result;
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

void WebServer::Impl::routes() {
  using Handler = std::function<json(const httplib::Request&)>;
  // Every API handler answers JSON; a Refusal becomes a 4xx (503 for a busy
  // server) with a one-line message, a fault of the server a 500, and none
  // ends the server.
  auto api = [](Handler handler) {
    return [handler](const httplib::Request& req, httplib::Response& res) {
      try {
        res.set_content(dumpJson(handler(req)), "application/json");
      } catch (const Refusal& r) {
        setError(res, r.status, r.message);
      } catch (const std::exception& e) {
        setError(res, 500, std::string("internal error: ") + e.what());
      } catch (...) {
        setError(res, 500, "internal error");
      }
    };
  };
  // Holds the game's lock for the handler; a game an engine is thinking for
  // takes no other change.
  auto withGame = [this](const httplib::Request& req, bool change, auto&& body) -> json {
    const std::string id = req.matches[1];
    std::shared_ptr<LiveGame> game = findGame(id);
    std::lock_guard<std::mutex> lock(game->mutex);
    if (change && game->thinking) refuse(409, "the engine is thinking in this game");
    return body(id, *game);
  };

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

  http.Get(R"(/api/games/([0-9a-f]{16}))", api([this, withGame](const httplib::Request& req) {
             return withGame(req, false, [this](const std::string& id, LiveGame& g) { return stateJson(id, g); });
           }));

  http.Post(R"(/api/games/([0-9a-f]{16})/move)", api([this, withGame](const httplib::Request& req) {
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

  http.Post(R"(/api/games/([0-9a-f]{16})/takeback)", api([this, withGame](const httplib::Request& req) {
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

  http.Post(R"(/api/games/([0-9a-f]{16})/resign)", api([this, withGame](const httplib::Request& req) {
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

  http.Post(R"(/api/games/([0-9a-f]{16})/analyse)", api([this, withGame](const httplib::Request& req) {
              const json body = parseBody(req);
              double budget = 0;
              const EngineKind* kind = body.contains("engine") ? &engineField(body, budget) : nullptr;
              EngineQuestion question;
              bool over = false;
              withGame(req, false, [&](const std::string&, LiveGame& g) {
                question = questionFor(g.session, budget);
                over = g.session.over();
                return json();
              });
              const Board& board = question.board;
              const Side side = question.side;
              json out = {{"side", sideWord(side)},
                          {"static", Evaluator().evaluate(board, side)},
                          {"staticClassic", ClassicEvaluator().evaluate(board, side)},
                          {"choice", nullptr}};
              if (kind != nullptr && !over) {
                double seconds = 0;
                const EngineAnswer answer = runSearch<EngineAnswer>(
                    kind->id, [think = kind->think, question] { return think(question); }, seconds);
                out["engine"] = kind->id;
                out["choice"] = answerJson(answer, seconds);
              }
              return out;
            }));

  // The evaluation graph: black's score and win chance and the best move in
  // every position of the game; positions not yet evaluated are, up to a
  // batch per request ("pending" says how many are left).
  http.Post(R"(/api/games/([0-9a-f]{16})/evaluate)", api([this, withGame](const httplib::Request& req) {
              parseBody(req);
              std::vector<size_t> todo;
              std::vector<EngineQuestion> questions;
              std::vector<Move> moves;
              withGame(req, false, [&](const std::string&, LiveGame& g) {
                syncEvals(g);
                moves = g.evalMoves;
                for (size_t i = 0; i < g.evals.size() && static_cast<int>(todo.size()) < kJudgeBatch; ++i) {
                  if (!g.evals[i].is_null()) continue;
                  todo.push_back(i);
                  questions.push_back(questionFor(g.session, i, 0));
                }
                return json();
              });
              std::vector<json> found;
              if (!questions.empty()) {
                double seconds = 0;
                found = runSearch<std::vector<json>>(
                    "the evaluation",
                    [questions] {
                      PositionJudge judge(kJudgeNodes);
                      std::vector<json> out;
                      for (const EngineQuestion& q : questions) {
                        if (!hasAnyMove(q.board, q.side)) {
                          out.push_back(evalJson(-kProWinScore, q.side, nullptr));  // the side to move has lost
                          continue;
                        }
                        const EngineAnswer answer = judge.judge(q);
                        out.push_back(evalJson(answer.score, q.side, &answer));
                      }
                      return out;
                    },
                    seconds);
              }
              return withGame(req, false, [&](const std::string&, LiveGame& g) {
                syncEvals(g);
                // Entries for positions the game still goes through.
                for (size_t k = 0; k < todo.size(); ++k) {
                  const size_t i = todo[k];
                  bool same = i < g.evals.size();
                  for (size_t j = 0; same && j < i; ++j) same = moves[j] == g.evalMoves[j];
                  if (same) g.evals[i] = found[k];
                }
                json evals = json::array();
                int pending = 0;
                for (size_t i = 0; i < g.evals.size(); ++i) {
                  json entry = g.evals[i];
                  const GameSession& s = g.session;
                  // A game ended by a rule: its last position is worth the award.
                  if (i + 1 == g.evals.size() && s.over() && s.end() != SessionEnd::kResigned &&
                      s.end() != SessionEnd::kTimeForfeit && s.end() != SessionEnd::kNoMoves) {
                    const int32_t award = s.winner() == 0 ? 0 : s.winner() == kBlack ? kProWinScore : -kProWinScore;
                    entry = evalJson(award, kBlack, nullptr);
                    entry["winIn"] = nullptr;
                  }
                  if (entry.is_null()) ++pending;
                  evals.push_back(entry);
                }
                return json{{"evals", evals}, {"pending", pending}};
              });
            }));

  http.Get(R"(/api/games/([0-9a-f]{16})/record)", [this](const httplib::Request& req, httplib::Response& res) {
    try {
      std::shared_ptr<LiveGame> game = findGame(req.matches[1]);
      std::lock_guard<std::mutex> lock(game->mutex);
      if (!game->session.fromInitial()) {
        refuse(409, "a game from a set-up position has no record form (records start at the initial position); "
                    "share its link instead");
      }
      std::ostringstream text;
      text << "# a game played on the tovrane serve page\n";
      writeGameRecord(text, game->session.record(game->blackName, game->whiteName));
      res.set_header("Content-Disposition", "attachment; filename=\"tovrane-game.txt\"");
      res.set_content(text.str(), "text/plain");
    } catch (const Refusal& r) {
      setError(res, r.status, r.message);
    }
  });

  http.Post("/api/records", api([](const httplib::Request& req) { return recordsJson(req.body); }));

  for (const WebAsset& asset : webAssets()) {
    const std::string path = asset.path == std::string("/index.html") ? "/" : asset.path;
    http.Get(path, [&asset](const httplib::Request&, httplib::Response& res) {
      res.set_header("Cache-Control", "no-cache");
      res.set_content(reinterpret_cast<const char*>(asset.data), asset.size, asset.type);
    });
  }

  // Before any route: a request for another site's name, or a write from
  // another site's page, is refused.
  http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    const std::string host = req.get_header_value("Host");
    std::string why = guard ? guard->checkHost(host) : std::string("the server is not listening yet");
    if (why.empty()) {
      why = guard->checkWrite(req.method, host, req.get_header_value("Origin"), req.has_header("Origin"),
                              req.get_header_value("Sec-Fetch-Site"));
    }
    if (why.empty()) return httplib::Server::HandlerResponse::Unhandled;
    setError(res, 403, why);
    return httplib::Server::HandlerResponse::Handled;
  });

  // Unknown paths, bodies over the limit and the like: httplib picks the
  // status; the body says it in one line.
  http.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty()) return;
    std::string message = "request refused";
    if (res.status == 404) message = "unknown path " + req.path.substr(0, 80);
    if (res.status == 413) message = "the request body is larger than the limit";
    if (res.status == 400) message = "malformed HTTP request (a POST needs a body, {} at least)";
    setError(res, res.status, message);
  });
  http.set_payload_max_length(config.maxBodyBytes);
  // Not httplib's default options: they would let a second server share a
  // port that is taken.
  http.set_socket_options([](socket_t sock) { setListenOptions(static_cast<std::intptr_t>(sock)); });
  http.new_task_queue = [] { return new httplib::ThreadPool(8); };
  // Stopping waits for idle keep-alive connections (a browser keeps some
  // open) to time out: one second instead of httplib's five.
  http.set_keep_alive_timeout(1);
}

WebServer::WebServer(const ServeConfig& config) : impl_(std::make_unique<Impl>(config)) {}

WebServer::~WebServer() {
  stop();
  std::shared_ptr<SearchSlots> slots = impl_->slots;
  std::unique_lock<std::mutex> lock(slots->mutex);
  slots->freed.wait(lock, [&] { return slots->running == 0; });
}

int WebServer::bind() {
  const int port = impl_->config.port == 0 ? impl_->http.bind_to_any_port(impl_->config.host)
                                           : (impl_->http.bind_to_port(impl_->config.host, impl_->config.port)
                                                  ? impl_->config.port
                                                  : -1);
  if (port < 0) {
    throw std::runtime_error("cannot listen on " + impl_->config.host + " port " +
                             std::to_string(impl_->config.port));
  }
  impl_->guard = std::make_unique<RequestGuard>(impl_->config.host, port);
  return port;
}

void WebServer::run() {
  impl_->runEntered = true;
  impl_->http.listen_after_bind();
  impl_->runExited = true;
}

// httplib's stop() does nothing before listening has begun, so a stop that
// comes just after run() was entered waits for the listening to start.
void WebServer::stop() {
  while (impl_->runEntered && !impl_->runExited && !impl_->http.is_running()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  impl_->http.stop();
}

std::string exposureWarning(const ServeConfig& config) {
  if (isLoopbackHost(config.host)) return {};
  return "warning: listening on " + config.host +
         " opens the page and its engines to the network; anyone who can reach this machine can use them";
}

}  // namespace tovrane
