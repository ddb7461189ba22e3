#pragma once
// The server's insides, shared by the files of its routes: the live games,
// the engine search slots, and the helpers every route uses. Each
// *_routes.cpp file adds one group of routes: games and moves, analysis,
// records.

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "serve/api_json.h"
#include "serve/engine_kinds.h"
#include "serve/game_session.h"
#include "serve/live_game.h"
#include "serve/request_guard.h"
#include "serve/web_server.h"

namespace tovrane {

namespace web {

// The largest request numbers the page may send.
constexpr int kMaxPastedMoves = 1000;

// The question about the position after the first plies plies of session,
// or after all of them.
EngineQuestion questionFor(const GameSession& session, size_t plies, double budget);
EngineQuestion questionFor(const GameSession& session, double budget);

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
  std::atomic<bool> closing{false};  // the server is stopping: long jobs end early
};

// A recorded game analysed in the background (the replay's marks and
// graph): the plies done so far; stopped when the page stops asking.
struct AnalysisJob {
  std::mutex mutex;
  std::vector<json> plies;
  int count = 0;
  bool done = false;
  std::string error;
  Clock::time_point lastAsked = Clock::now();
};

}  // namespace web

// The server's own files see its helpers unqualified.
using namespace web;

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
  GameStore store;
  std::mutex analysesMutex;
  std::map<std::string, std::shared_ptr<AnalysisJob>> analyses;

  explicit Impl(const ServeConfig& c) : config(c), store(c.stateDir) { routes(); }

  // Every route, group by group.
  void routes();
  void gameRoutes();
  void analysisRoutes();
  void recordRoutes();
  void recordAnalysisRoutes();
  void pageRoutes();

  // Game registry: the games in memory, and in the state folder those
  // dropped from memory or kept from before a restart. wantedId: the id a
  // page asks for (a game rebuilt from its link), used when free.
  std::string createGame(std::shared_ptr<web::LiveGame> game, const std::string& wantedId = "");
  std::shared_ptr<web::LiveGame> findGame(const std::string& id);
  // After a change, under the game's lock: a new version, and the game saved.
  void changed(const std::string& id, web::LiveGame& game) const;

  // Runs job on a thread of its own in one of the search slots and waits
  // at most config.engineSeconds for it; what names it in a refusal. A
  // search nobody waits for any more is told to stop through stop.
  template <class Result>
  Result runSearch(const std::string& what, std::function<Result()> job, double& seconds,
                   std::shared_ptr<std::atomic<bool>> stop = nullptr);

  const EngineKind& engineField(const web::json& body, double& budget) const;
  // The page's settings of a new game: {vs, you, seconds}, checked.
  web::json settingsField(const web::json& body) const;
  web::json stateJson(const std::string& id, web::LiveGame& game) const;

  using Handler = std::function<web::json(const httplib::Request&)>;
  // Every API handler answers JSON; a Refusal becomes a 4xx (503 for a busy
  // server) with a one-line message, a fault of the server a 500, and none
  // ends the server.
  static httplib::Server::Handler api(Handler handler);

  // Holds the game's lock for the handler; a game an engine is thinking for
  // takes no other change.
  template <class Body>
  web::json withGame(const httplib::Request& req, bool change, Body&& body) {
    const std::string id = req.matches[1];
    std::shared_ptr<web::LiveGame> game = findGame(id);
    std::lock_guard<std::mutex> lock(game->mutex);
    if (change && game->thinking) web::refuse(409, "the engine is thinking in this game");
    return body(id, *game);
  }
};

template <class Result>
Result WebServer::Impl::runSearch(const std::string& what, std::function<Result()> job, double& seconds,
                                  std::shared_ptr<std::atomic<bool>> stop) {
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
    // Told to stop, the search ends soon; one that cannot be interrupted
    // finishes in the background and keeps its slot until then, so runaway
    // searches cannot pile up.
    if (stop) stop->store(true);
    refuse(503, what + " gave no answer within the limit of " +
                    std::to_string(static_cast<int>(config.engineSeconds)) + " s");
  }
  seconds = task->seconds;
  return task->result;
}

}  // namespace tovrane
