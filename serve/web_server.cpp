#include "serve/web_server.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
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
#include "serve/capture_path.h"
#include "serve/engine_kinds.h"
#include "serve/game_session.h"
#include "serve/web_assets.h"

namespace tovrane {

namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

const char* sideWord(Side side) { return side == kWhite ? "white" : "black"; }

// A request the server refuses: the status and the one-line message.
struct Refusal {
  int status;
  std::string message;
};

[[noreturn]] void refuse(int status, const std::string& message) { throw Refusal{status, message}; }

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
  } catch (const std::runtime_error& e) {
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

EngineQuestion questionFor(const GameSession& session, double budget) {
  EngineQuestion question;
  question.board = session.board();
  question.side = session.toMove();
  for (const SessionPly& ply : session.plies()) question.history.push_back(ply.move);
  question.budgetSeconds = budget;
  return question;
}

struct LiveGame {
  std::mutex mutex;
  GameSession session;
  std::string blackName;
  std::string whiteName;
  Clock::time_point turnStart = Clock::now();  // a person's move is timed from here
  bool thinking = false;                       // an engine request owns the game
};

// What a running search hands back. Shared with the search thread, which may
// outlive the request that started it when the request gives up waiting.
struct SearchTask {
  std::mutex mutex;
  std::condition_variable doneSignal;
  bool done = false;
  EngineAnswer answer;
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

  // Runs kind on a worker thread and waits at most config.engineSeconds.
  EngineAnswer search(const EngineKind& kind, const EngineQuestion& question, double& seconds);

  const EngineKind& engineField(const json& body, double& budget) const;
  json stateJson(const std::string& id, const LiveGame& game) const;
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

EngineAnswer WebServer::Impl::search(const EngineKind& kind, const EngineQuestion& question, double& seconds) {
  {
    std::lock_guard<std::mutex> lock(slots->mutex);
    if (slots->running >= config.searchSlots) {
      refuse(503, "all " + std::to_string(config.searchSlots) + " engine slots are busy; try again");
    }
    ++slots->running;
  }
  auto task = std::make_shared<SearchTask>();
  std::thread([task, slots = slots, think = kind.think, question] {
    const auto start = Clock::now();
    const EngineAnswer answer = think(question);
    // The slot is free before the answer goes out, so that a client sending
    // its next request at once never finds it still taken.
    {
      std::lock_guard<std::mutex> lock(slots->mutex);
      --slots->running;
      slots->freed.notify_all();
    }
    {
      std::lock_guard<std::mutex> lock(task->mutex);
      task->answer = answer;
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
    refuse(503, std::string(kind.id) + " gave no move within the limit of " +
                    std::to_string(static_cast<int>(config.engineSeconds)) + " s");
  }
  seconds = task->seconds;
  return task->answer;
}

const EngineKind& WebServer::Impl::engineField(const json& body, double& budget) const {
  if (!body.contains("engine") || !body["engine"].is_string()) refuse(400, "engine must be given as a string");
  const std::string id = body["engine"].get<std::string>();
  const EngineKind* kind = findEngineKind(id);
  if (kind == nullptr) refuse(400, "unknown engine '" + id.substr(0, 40) + "'");
  budget = 0;
  if (kind->timeBudget) {
    if (!body.contains("seconds") || !body["seconds"].is_number()) refuse(400, "seconds must be given as a number");
    budget = body["seconds"].get<double>();
    if (!(budget >= 0.01 && budget <= config.maxBudgetSeconds)) {
      refuse(400, "seconds must be from 0.01 to " + std::to_string(static_cast<int>(config.maxBudgetSeconds)));
    }
  }
  return *kind;
}

json WebServer::Impl::stateJson(const std::string& id, const LiveGame& game) const {
  const GameSession& s = game.session;
  json moves = json::array();
  Side side = kBlack;
  for (const SessionPly& ply : s.plies()) {
    moves.push_back(
        {{"move", moveText(ply.move)}, {"side", sideWord(side)}, {"seconds", ply.seconds}, {"capture", ply.capture}});
    side = opponent(side);
  }
  json state = {{"id", id},
                {"board", boardDigits(s.board())},
                {"toMove", sideWord(s.toMove())},
                {"black", game.blackName},
                {"white", game.whiteName},
                {"quietPlies", s.quietPlies()},
                {"moves", moves},
                {"over", s.over()},
                {"result", nullptr},
                {"end", nullptr},
                {"reason", nullptr},
                {"legal", json::array()}};
  if (s.over()) {
    state["result"] = resultWord(s.winner());
    state["end"] = gameEndCode(s.end());
    state["reason"] = s.reason();
  } else {
    state["legal"] = legalMovesJson(s.board(), s.toMove());
  }
  return state;
}

void WebServer::Impl::routes() {
  using Handler = std::function<json(const httplib::Request&)>;
  // Every API handler answers JSON; a Refusal or any other failure becomes a
  // 4xx or 5xx with a one-line message instead of ending the server.
  auto api = [](Handler handler) {
    return [handler](const httplib::Request& req, httplib::Response& res) {
      try {
        res.set_content(handler(req).dump(), "application/json");
      } catch (const Refusal& r) {
        res.status = r.status;
        res.set_content(json{{"error", r.message}}.dump(), "application/json");
      } catch (const std::exception& e) {
        res.status = 500;
        res.set_content(json{{"error", std::string("internal error: ") + e.what()}}.dump(), "application/json");
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
               engines.push_back({{"id", kind.id}, {"label", kind.label}, {"timeBudget", kind.timeBudget}});
             }
             return json{{"engines", engines}};
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

  http.Post("/api/games", api([this](const httplib::Request& req) {
              const json body = parseBody(req);
              auto game = std::make_shared<LiveGame>();
              game->blackName = nameField(body, "black", "black");
              game->whiteName = nameField(body, "white", "white");
              const std::string id = createGame(game);
              std::lock_guard<std::mutex> lock(game->mutex);
              return stateJson(id, *game);
            }));

  http.Get(R"(/api/games/([0-9a-f]{16}))", api([this, withGame](const httplib::Request& req) {
             return withGame(req, false, [this](const std::string& id, LiveGame& g) { return stateJson(id, g); });
           }));

  http.Post(R"(/api/games/([0-9a-f]{16})/move)", api([this, withGame](const httplib::Request& req) {
              const json body = parseBody(req);
              if (!body.contains("move") || !body["move"].is_string()) refuse(400, "move must be given as a string");
              const std::string word = body["move"].get<std::string>();
              if (word.size() != 4 || !isOnBoardMoveText(word)) {
                refuse(400, "a move is four digits 0..5: from-row from-col to-row to-col");
              }
              return withGame(req, true, [&](const std::string& id, LiveGame& g) {
                std::string why;
                if (!g.session.play(readMoveText(word.c_str()), secondsSince(g.turnStart), why)) refuse(422, why);
                g.turnStart = Clock::now();
                return stateJson(id, g);
              });
            }));

  http.Post(R"(/api/games/([0-9a-f]{16})/takeback)", api([this, withGame](const httplib::Request& req) {
              const json body = parseBody(req);
              int plies = 1;
              if (body.contains("plies")) {
                if (!body["plies"].is_number_integer()) refuse(400, "plies must be a whole number");
                plies = body["plies"].get<int>();
                if (plies < 1 || plies > kMaxGamePlies) refuse(400, "plies must be from 1 to 400");
              }
              return withGame(req, true, [&](const std::string& id, LiveGame& g) {
                g.session.takeBack(plies);
                g.turnStart = Clock::now();
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
                if (game->session.over()) refuse(409, "the game is over: " + game->session.reason());
                question = questionFor(game->session, budget);
                plies = game->session.plies().size();
                game->thinking = true;
              }
              EngineAnswer answer;
              double seconds = 0;
              try {
                answer = search(kind, question, seconds);
              } catch (...) {
                std::lock_guard<std::mutex> lock(game->mutex);
                game->thinking = false;
                throw;
              }
              std::lock_guard<std::mutex> lock(game->mutex);
              game->thinking = false;
              if (game->session.plies().size() != plies) refuse(409, "the game changed while the engine thought");
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
                const EngineAnswer answer = search(*kind, question, seconds);
                out["engine"] = kind->id;
                out["choice"] = answerJson(answer, seconds);
              }
              return out;
            }));

  http.Get(R"(/api/games/([0-9a-f]{16})/record)", [this](const httplib::Request& req, httplib::Response& res) {
    try {
      std::shared_ptr<LiveGame> game = findGame(req.matches[1]);
      std::lock_guard<std::mutex> lock(game->mutex);
      std::ostringstream text;
      text << "# a game played on the tovrane serve page\n";
      writeGameRecord(text, game->session.record(game->blackName, game->whiteName));
      res.set_header("Content-Disposition", "attachment; filename=\"tovrane-game.txt\"");
      res.set_content(text.str(), "text/plain");
    } catch (const Refusal& r) {
      res.status = r.status;
      res.set_content(json{{"error", r.message}}.dump(), "application/json");
    }
  });

  http.Post("/api/records", api([](const httplib::Request& req) { return recordsJson(req.body); }));

  for (const WebAsset& asset : webAssets()) {
    const std::string path = asset.path == std::string("/index.html") ? "/" : asset.path;
    http.Get(path, [&asset](const httplib::Request&, httplib::Response& res) {
      res.set_content(reinterpret_cast<const char*>(asset.data), asset.size, asset.type);
    });
  }

  // Unknown paths, bodies over the limit and the like: httplib picks the
  // status; the body says it in one line.
  http.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty()) return;
    std::string message = "request refused";
    if (res.status == 404) message = "unknown path " + req.path.substr(0, 80);
    if (res.status == 413) message = "the request body is larger than the limit";
    if (res.status == 400) message = "malformed HTTP request (a POST needs a body, {} at least)";
    res.set_content(json{{"error", message}}.dump(), "application/json");
  });
  http.set_payload_max_length(config.maxBodyBytes);
  // httplib's default adds SO_REUSEPORT, which would let a second server
  // share a port that is taken; SO_REUSEADDR alone only allows a restart
  // while old connections linger.
  http.set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
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

}  // namespace tovrane
