// The routes of records: a game exported as a match record, and a record
// file read back, board by board, for the replay.
#include "serve/web_server_impl.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "analysis/game_analysis.h"
#include "match/game_record.h"
#include "match/match_header.h"
#include "rules/move_generator.h"
#include "serve/capture_path.h"

namespace tovrane {

namespace {

// The rules a match was played under, told by its header's rules line (its
// words end as rulesWords gives them), as the analysis takes them: a
// preset's name, or the draw rules' quiet limit and ply cap; null when the
// header does not tell (the analysis then takes the default rules).
json recordRules(const std::vector<std::string>& comments) {
  std::string words;
  try {
    words = parseMatchHeader(comments).rules;
  } catch (const std::exception&) {
    return nullptr;
  }
  auto endsWith = [&](const std::string& tail) {
    return !tail.empty() && words.size() >= tail.size() && words.compare(words.size() - tail.size(), tail.size(), tail) == 0;
  };
  for (const RulesPreset& preset : rulesPresets()) {
    if (endsWith(rulesWords(preset.rules))) return preset.name;
  }
  const size_t at = words.find("draw-plies ");
  if (at == std::string::npos) return nullptr;
  std::istringstream fields(words.substr(at));
  std::string key1, quiet, key2, cap;
  fields >> key1 >> quiet >> key2 >> cap;
  GameRules rules;
  rules.quietLimit = quiet == "none" ? 0 : std::atoi(quiet.c_str());
  rules.maxPlies = cap == "none" ? 0 : std::atoi(cap.c_str());
  if (key2 != "max-plies" || !endsWith(rulesWords(rules))) return nullptr;
  return json{{"quietLimit", rules.quietLimit}, {"maxPlies", rules.maxPlies}};
}

// The score an engine gave its move (its thinking line, kept in the
// record), from black's point of view, capped at the analysis's kLossCap:
// a proved win or loss is the cap.
int recordedScore(const Thinking& thinking, Side mover) {
  int score = 0;
  switch (thinking.score.kind) {
    case ThinkingScore::Kind::kCentis: score = std::clamp(thinking.score.value, -kLossCap, kLossCap); break;
    case ThinkingScore::Kind::kWin: score = kLossCap; break;
    case ThinkingScore::Kind::kLoss: score = -kLossCap; break;
  }
  return mover == kBlack ? score : -score;
}

// The record file's games with the board after every ply, checked move by
// move like `tovrane replay` does, and the rules the match was played under.
json recordsJson(const std::string& text) {
  std::vector<GameRecord> games;
  json rules = nullptr;
  try {
    std::istringstream in(text);
    games = readGameRecords(in);
    // The header: the '#' lines before the first game.
    std::istringstream lines(text);
    std::vector<std::string> comments;
    for (std::string line; std::getline(lines, line) && line.rfind("game", 0) != 0;) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty() && line[0] == '#') comments.push_back(line.substr(1));
    }
    rules = recordRules(comments);
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
                       {"board", boardDigits(board)},
                       {"score", played.thinking ? json(recordedScore(*played.thinking, side)) : json()},
                       {"thinking", played.thinking ? json(thinkingFieldsText(*played.thinking)) : json()}});
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
  return {{"games", out}, {"rules", rules}};
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
