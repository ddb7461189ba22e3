// The routes of records: a game exported as a match record, and a record
// file read back, board by board, for the replay.
#include "serve/web_server_impl.h"

#include <sstream>

#include "match/game_record.h"
#include "rules/move_generator.h"
#include "serve/capture_path.h"

namespace tovrane {

namespace {

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

}  // namespace

void WebServer::Impl::recordRoutes() {
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
}

}  // namespace tovrane
