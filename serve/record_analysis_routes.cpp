// The replay's analysis: a recorded game gone over by the game analyser
// (analysis/, as `tovrane analyse` does it), in the background, while the
// page asks for the plies done so far.
//
//   POST /api/analyses      {moves: [...], rules?}: starts it; {id}
//                           (rules: a preset's name or {quietLimit, maxPlies})
//   GET  /api/analyses/ID   {plies: [{ply, mark, loss, best, black}], count, done, error}
#include <cstdio>
#include <thread>

#include "analysis/game_analysis.h"
#include "rules/move_generator.h"
#include "serve/web_server_impl.h"

namespace tovrane {

namespace {

// A page that has not asked for this long has gone: the analysis stops.
constexpr double kAnalysisUnwatchedSeconds = 20;
constexpr int kMaxAnalysedPlies = 1000;

json plyJson(const PlyAnalysis& ply) {
  return {{"ply", ply.ply},
          {"mark", markWord(ply.mark)},
          {"loss", ply.loss},
          {"best", moveText(ply.best)},
          {"after", scoreText(ply.after)},
          {"black", blackView(ply.after, ply.mover)}};  // the score after the move, black's view
}

}  // namespace

void WebServer::Impl::recordAnalysisRoutes() {
  http.Post("/api/analyses", api([this](const httplib::Request& req) {
              const json body = parseBody(req);
              if (!body.contains("moves") || !body["moves"].is_array() || body["moves"].size() > kMaxAnalysedPlies) {
                refuse(400, "moves must be a list of at most 1000 move words");
              }
              std::vector<Move> moves;
              Board board{};
              resetBoard(board);
              Side side = kBlack;
              for (size_t i = 0; i < body["moves"].size(); ++i) {
                const std::string what = "ply " + std::to_string(i + 1);
                const Move move = moveWord(body["moves"][i], what);
                if (!isLegalMove(board, side, move)) refuse(422, what + ": " + moveText(move) + " is not a legal move");
                applyMove(board, move);
                side = opponent(side);
                moves.push_back(move);
              }
              AnalysisSettings settings;
              // The record's rules, as POST /api/records tells them.
              if (body.contains("rules") && !body["rules"].is_null()) {
                const json& rules = body["rules"];
                if (rules.is_object()) {
                  settings.rules.quietLimit = static_cast<int>(numberField(rules, "quietLimit", 0, 100000));
                  settings.rules.maxPlies = static_cast<int>(numberField(rules, "maxPlies", 0, 100000));
                } else {
                  const auto preset = rules.is_string() ? rulesByName(rules.get<std::string>()) : std::nullopt;
                  if (!preset) refuse(400, "rules must be a preset's name or {quietLimit, maxPlies}");
                  settings.rules = *preset;
                }
              }
              {
                std::lock_guard<std::mutex> lock(slots->mutex);
                if (slots->running >= config.searchSlots) {
                  refuse(503, "all " + std::to_string(config.searchSlots) + " engine slots are busy; try again");
                }
                ++slots->running;
              }
              auto job = std::make_shared<AnalysisJob>();
              job->count = static_cast<int>(moves.size());
              std::string id;
              {
                std::lock_guard<std::mutex> lock(analysesMutex);
                // Finished or abandoned analyses go when a new one starts.
                for (auto it = analyses.begin(); it != analyses.end();) {
                  std::lock_guard<std::mutex> jobLock(it->second->mutex);
                  const bool old = secondsSince(it->second->lastAsked) > kAnalysisUnwatchedSeconds;
                  it = old ? analyses.erase(it) : std::next(it);
                }
                char text[17];
                do {
                  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(idSource()));
                  id = text;
                } while (analyses.count(id) != 0);
                analyses[id] = job;
              }
              std::thread([job, slots = slots, moves, settings] {
                Board start{};
                resetBoard(start);
                try {
                  analyseGame(start, kBlack, moves, settings, [&](const PlyAnalysis& ply, int) {
                    std::lock_guard<std::mutex> lock(job->mutex);
                    job->plies.push_back(plyJson(ply));
                    return !slots->closing && secondsSince(job->lastAsked) < kAnalysisUnwatchedSeconds;
                  });
                } catch (const std::exception& e) {
                  std::lock_guard<std::mutex> lock(job->mutex);
                  job->error = e.what();
                }
                {
                  std::lock_guard<std::mutex> lock(job->mutex);
                  job->done = true;
                }
                std::lock_guard<std::mutex> lock(slots->mutex);
                --slots->running;
                slots->freed.notify_all();
              }).detach();
              return json{{"id", id}, {"count", moves.size()}};
            }));

  http.Get(R"(/api/analyses/([0-9a-f]{16}))", api([this](const httplib::Request& req) {
             std::shared_ptr<AnalysisJob> job;
             {
               std::lock_guard<std::mutex> lock(analysesMutex);
               const auto it = analyses.find(req.matches[1]);
               if (it == analyses.end()) refuse(404, "no analysis " + std::string(req.matches[1]) + "; start it again");
               job = it->second;
             }
             std::lock_guard<std::mutex> lock(job->mutex);
             job->lastAsked = Clock::now();
             return json{{"plies", job->plies}, {"count", job->count}, {"done", job->done}, {"error", job->error}};
           }));
}

}  // namespace tovrane
